// NormalizeSheet: sets up peak normalisation of the selection, or the whole file: the target
// peak (−24…0 dBFS, −1.0 at first, held to the 0.1 dB its field shows; dragged or typed) and
// whether each channel is scaled on its own (only with two or more channels), applied with
// EditorModel::normalizePeak. GUI thread only.
#pragma once

#include "sheets/SheetContainer.h"

class QCheckBox;

class NormalizeSheet final : public SheetContainer {
  Q_OBJECT
public:
  NormalizeSheet(EditorModel& model, QWidget* window);

  double target() const { return target_; }
  bool independent() const { return independent_; }

protected:
  void apply() override;

private:
  EditorModel& model_;
  double target_ = -1.0;
  bool independent_ = false;
  QCheckBox* independentToggle_;
};
