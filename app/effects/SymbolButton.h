// SymbolButton: a button showing one of the project's icons (by symbol name) in the palette's
// button text colour, re-tinted when the palette changes (light and dark), optionally with a
// title beside it. GUI thread.
#pragma once

#include <QToolButton>

class SymbolButton final : public QToolButton {
  Q_OBJECT
public:
  // `pointSize`: the icon's edge in points.
  SymbolButton(const QString& symbol, int pointSize, const QString& title = {}, QWidget* parent = nullptr);

protected:
  void changeEvent(QEvent* event) override;

private:
  void tint();

  QString symbol_;
};
