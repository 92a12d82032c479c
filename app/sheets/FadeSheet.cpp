#include "sheets/FadeSheet.h"

#include <QComboBox>
#include <QFormLayout>

#include "editor/EditorModel.h"
#include "sheets/FadeCurvePreview.h"
#include "support/Preferences.h"
#include "widgets/SegmentedControl.h"

using quar::FadeDirection;
using quar::FadeShape;

FadeSheet::FadeSheet(EditorModel& model, QWidget* window)
    : SheetContainer(QStringLiteral("Fade"), QStringLiteral("Apply"), window), model_(model),
      shape_(Preferences::fadeShape()),
      directionPicker_(new SegmentedControl(QStringLiteral("Direction"), {QStringLiteral("Fade In"), QStringLiteral("Fade Out")}, this)),
      curveMenu_(new QComboBox(this)), preview_(new FadeCurvePreview(this)) {
  directionPicker_->setObjectName(QStringLiteral("directionPicker"));
  directionPicker_->setSelectedIndex(0);
  curveMenu_->setObjectName(QStringLiteral("curveMenu"));
  curveMenu_->setAccessibleName(QStringLiteral("Curve"));
  for (const FadeShape shape : quar::allCases<FadeShape>()) curveMenu_->addItem(QString::fromUtf8(quar::displayName(shape)));
  curveMenu_->setCurrentIndex(static_cast<int>(shape_));
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Direction"), directionPicker_);
  form->addRow(QStringLiteral("Curve"), curveMenu_);
  addContent(form);
  addContent(preview_);
  addScopeLine(model);

  connect(directionPicker_, &SegmentedControl::picked, this, [this](int index) {
    direction_ = index == 0 ? FadeDirection::fadeIn : FadeDirection::fadeOut;
    showCurve();
  });
  connect(curveMenu_, &QComboBox::activated, this, [this](int index) {
    shape_ = quar::allCases<FadeShape>()[static_cast<size_t>(index)];
    showCurve();
  });
  showCurve();
}

void FadeSheet::apply() {
  Preferences::setFadeShape(shape_);
  model_.fade(direction_, shape_);
}

void FadeSheet::showCurve() { preview_->setCurve(shape_, direction_ == FadeDirection::fadeIn); }
