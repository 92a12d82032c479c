#include "views/TimeField.h"

#include <QEvent>
#include <QKeyEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>

#include "editor/EditorModel.h"
#include "platform/ObservedRefresh.h"
#include "widgets/ViewStyle.h"

TimeField::TimeField(const QString& label, EditorModel* model, std::function<int64_t()> value,
                     std::function<void(int64_t)> commit, QWidget* parent)
    : QWidget(parent),
      model_(model),
      value_(std::move(value)),
      commit_(std::move(commit)),
      observer_(new ObservedRefresh([this] { refresh(); }, this)) {
  auto* layout = new QHBoxLayout(this);
  layout->setSpacing(5);
  layout->setContentsMargins(0, 0, 0, 0);
  caption_ = new QLabel(label, this);
  caption_->setFont(ViewStyle::font(ViewStyle::TextStyle::caption));
  ViewStyle::setForeground(caption_, ViewStyle::secondary(palette()));
  edit_ = new QLineEdit(this);
  edit_->setAccessibleName(label);
  edit_->setFont(ViewStyle::font(ViewStyle::TextStyle::callout));
  edit_->installEventFilter(this);
  connect(edit_, &QLineEdit::returnPressed, this, &TimeField::submit);
  layout->addWidget(caption_);
  layout->addWidget(edit_);
  observer_->watch(model_);
  observer_->watch(&model_->viewSettings());
  observer_->run();
}

int TimeField::editWidth(TimeFormat format) { return format == TimeFormat::samples ? 104 : 92; }

QString TimeField::valueText() const {
  return timeString(model_->viewSettings().timeFormat(), value_(), model_->content().sampleRate());
}

bool TimeField::isEditing() const { return edit_->hasFocus() && edit_->isModified(); }

void TimeField::refresh() {
  const TimeFormat format = model_->viewSettings().timeFormat();
  const QString text = valueText();
  // A new format rewrites the field even while it is being edited; a new value only when not.
  if (format != shownFormat_ || !isEditing()) edit_->setText(text);
  edit_->setFixedWidth(editWidth(format));
  shownFormat_ = format;
}

void TimeField::submit() {
  const EditorModel& model = *model_;
  if (const std::optional<int64_t> frame =
          frameFromText(model.viewSettings().timeFormat(), edit_->text(), model.content().sampleRate()))
    commit_(std::clamp<int64_t>(*frame, 0, model.content().frameCount()));
  edit_->setText(valueText());
  Q_EMIT finished();
}

void TimeField::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) ViewStyle::setForeground(caption_, ViewStyle::secondary(palette()));
}

bool TimeField::eventFilter(QObject* watched, QEvent* event) {
  if (watched != edit_) return QWidget::eventFilter(watched, event);
  if (event->type() == QEvent::FocusOut) edit_->setText(valueText());
  if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
    edit_->setText(valueText());
    Q_EMIT finished();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}
