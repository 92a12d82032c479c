// InspectorView: the side panel of the editor window: a segmented control of five icons
// (Loudness, Spectrum, Info, Markers, Effects) bound to the model's inspectorTab, a divider,
// and a vertically scrolling area with the chosen tab's panel (the effects rack panel on the
// Effects tab), inset by 14 points. Only that panel exists, and only while the inspector is on
// screen: choosing another tab, from the control or anywhere else, or hiding the inspector
// discards it with its own state, and the panel shown next is made afresh. GUI thread only.
#pragma once

#include <QWidget>

#include <optional>

#include "editor/InspectorTab.h"

class EditorModel;
class ObservedRefresh;
class QScrollArea;
class SegmentedControl;

class InspectorView final : public QWidget {
  Q_OBJECT
public:
  explicit InspectorView(EditorModel* model, QWidget* parent = nullptr);

  // The panel shown now; null while the inspector is hidden.
  QWidget* panel() const { return panel_; }
  SegmentedControl* tabs() const { return tabs_; }

protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

private:
  void refresh();
  void discardPanel();
  // A new panel for the tab.
  QWidget* makePanel(InspectorTab tab);

  EditorModel* model_;
  SegmentedControl* tabs_;
  QScrollArea* scroll_;
  QWidget* panel_ = nullptr;
  std::optional<InspectorTab> shown_;
  ObservedRefresh* observer_;
};
