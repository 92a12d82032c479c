// InsertSilenceSheet: inserts silence of a length in seconds (0.001…3600, 1 at first) into every
// channel at the start of the selection, or at the cursor, with EditorModel::insertSilence.
// GUI thread only.
#pragma once

#include <cstdint>

#include "sheets/SheetContainer.h"

class QDoubleSpinBox;

class InsertSilenceSheet final : public SheetContainer {
  Q_OBJECT
public:
  static constexpr double minSeconds = 0.001;
  static constexpr double maxSeconds = 3600;

  InsertSilenceSheet(EditorModel& model, QWidget* window);

  double seconds() const;

  // seconds × rate truncated toward zero; 0 when that is not a finite count within int64.
  static int64_t frames(double seconds, double sampleRate);

protected:
  void apply() override;

private:
  EditorModel& model_;
  QDoubleSpinBox* seconds_;
};
