// SegmentedControl: a row of joined buttons of which exactly one is chosen, for a small
// enumeration; each segment shows a title or an icon and may carry a tooltip. picked() reports
// the user's choice; setSelectedIndex() shows a choice without reporting it. In the dark
// appearance the chosen segment is filled lighter than the others, as clearly apart from them
// as the style's darker fill sets it apart in the light appearance. GUI thread only.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

#include <vector>

class QAbstractButton;
class QButtonGroup;

class SegmentedControl final : public QWidget {
  Q_OBJECT
public:
  struct Segment {
    QString title;      // shown when there is no symbol
    QString symbol{};   // an icon name of Icons; empty for a text segment
    QString toolTip{};  // also the segment's object name when given, else the title
  };

  // `name` is the accessible name (the control's hidden label).
  SegmentedControl(const QString& name, const std::vector<Segment>& segments, QWidget* parent = nullptr);
  // Text segments with these titles.
  SegmentedControl(const QString& name, const QStringList& titles, QWidget* parent = nullptr);

  int selectedIndex() const;
  void setSelectedIndex(int index);
  QAbstractButton* segment(int index) const;

Q_SIGNALS:
  void picked(int index);

protected:
  void changeEvent(QEvent* event) override;

private:
  // Gives the chosen segment its fill.
  void showSelection();

  QButtonGroup* group_;
};
