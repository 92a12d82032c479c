// LinkButton: a borderless button whose title is drawn in the palette's link colour, for
// secondary actions ("Clear", "Show all 13 parameters"). GUI thread.
#pragma once

#include <QAbstractButton>

class LinkButton final : public QAbstractButton {
  Q_OBJECT
public:
  // `pixelSize`: the title's text size in points.
  LinkButton(const QString& title, int pixelSize, QWidget* parent = nullptr);

  QSize sizeHint() const override;

protected:
  void paintEvent(QPaintEvent* event) override;
};
