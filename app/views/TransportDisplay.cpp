#include "views/TransportDisplay.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "editor/EditorModel.h"
#include "platform/ObservedRefresh.h"
#include "views/CompactMeters.h"
#include "widgets/CrossFadeLabel.h"
#include "widgets/Motion.h"
#include "widgets/ViewStyle.h"

namespace {

QString timeText(const EditorModel& model, int64_t frame) {
  return timeString(model.viewSettings().timeFormat(), frame, model.content().sampleRate());
}

} // namespace

TransportDisplay::TransportDisplay(EditorModel* model, QWidget* parent)
    : QWidget(parent), model_(model), observer_(new ObservedRefresh([this] { refresh(); }, this)) {
  setObjectName(QStringLiteral("transportDisplay"));
  auto* layout = new QHBoxLayout(this);
  layout->setSpacing(12);
  layout->setContentsMargins(10, 0, 10, 0);

  auto* texts = new QWidget(this);
  texts->setFixedWidth(150);
  auto* column = new QVBoxLayout(texts);
  column->setSpacing(0);
  column->setContentsMargins(0, 0, 0, 0);
  position_ = new CrossFadeLabel(texts);
  position_->setObjectName(QStringLiteral("positionText"));
  position_->setFont(ViewStyle::font(17, QFont::Medium, true));
  subtitle_ = new QLabel(texts);
  subtitle_->setObjectName(QStringLiteral("subtitleText"));
  subtitle_->setFont(ViewStyle::font(ViewStyle::TextStyle::caption));
  column->addWidget(position_);
  column->addWidget(subtitle_);
  layout->addWidget(texts);

  auto* meters = new CompactMeters(model, this);
  meters->setFixedSize(110, 22);
  layout->addWidget(meters);

  ViewStyle::setForeground(subtitle_, ViewStyle::secondary(palette()));
  observer_->watch(model_);
  observer_->watch(&model_->viewSettings());
  observer_->watch(&model_->transport());
  observer_->run();
}

int64_t TransportDisplay::position(const EditorModel& model) {
  if (model.transport().isPlaying()) return model.transport().playhead();
  const auto selection = model.selection();
  return selection ? selection->lowerBound : model.cursor();
}

QString TransportDisplay::subtitle(const EditorModel& model) {
  if (const auto selection = model.selection()) return QStringLiteral("Sel ") + timeText(model, selection->count());
  return QStringLiteral("of ") + timeText(model, model.content().frameCount());
}

void TransportDisplay::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) ViewStyle::setForeground(subtitle_, ViewStyle::secondary(palette()));
}

void TransportDisplay::refresh() {
  const QString time = timeText(*model_, position(*model_));
  // A jump of the position cross-fades; the running playhead's steps do not.
  position_->fadeToText(time, model_->transport().isPlaying() ? 0 : Motion::numericTextMs);
  subtitle_->setText(subtitle(*model_));
  setAccessibleName(QStringLiteral("Position ") + time);
}
