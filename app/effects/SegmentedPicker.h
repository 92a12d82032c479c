// SegmentedPicker: a row of joined buttons of which exactly one is chosen, for a small
// enumeration (detection mode, saturation mode, modulation mode). picked() reports the user's
// choice; setSelectedIndex() shows a choice without reporting it. GUI thread.
#pragma once

#include <QStringList>
#include <QWidget>

class QButtonGroup;

class SegmentedPicker final : public QWidget {
  Q_OBJECT
public:
  // One segment per title, in order; `name` is the accessible name (the hidden label).
  SegmentedPicker(const QString& name, const QStringList& titles, QWidget* parent = nullptr);

  int selectedIndex() const;
  void setSelectedIndex(int index);

Q_SIGNALS:
  void picked(int index);

private:
  QButtonGroup* group_;
};
