// FadeSheet: sets up a fade in or out over the selection: direction, one of the five curves
// (starting on the stored fade shape) and a drawing of the curve. Applying stores the curve as
// the fade shape, which the quick fade commands use too, then calls EditorModel::fade.
// GUI thread only.
#pragma once

#include "core/FadeShape.h"
#include "sheets/SheetContainer.h"

class FadeCurvePreview;
class QComboBox;
class SegmentedControl;

class FadeSheet final : public SheetContainer {
  Q_OBJECT
public:
  FadeSheet(EditorModel& model, QWidget* window);

  quar::FadeDirection direction() const { return direction_; }
  quar::FadeShape shape() const { return shape_; }

protected:
  void apply() override;

private:
  void showCurve();

  EditorModel& model_;
  quar::FadeDirection direction_ = quar::FadeDirection::fadeIn;
  quar::FadeShape shape_;
  SegmentedControl* directionPicker_;
  QComboBox* curveMenu_;
  FadeCurvePreview* preview_;
};
