#include "views/StatusBar.h"

#include <QComboBox>
#include <QEvent>
#include <QFontMetricsF>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QSignalBlocker>
#include <QToolButton>
#include <QtMath>

#include <algorithm>

#include "editor/EditorModel.h"
#include "platform/ObservedRefresh.h"
#include "views/TimeField.h"
#include "views/ViewStyle.h"

using quar::FrameRange;
using ViewStyle::TextStyle;

// One line of text shortened in the middle to the width it gets.
class StatusBar::ElidedLabel final : public QLabel {
public:
  using QLabel::QLabel;

  void setFullText(const QString& text) {
    if (text == full_) return;
    full_ = text;
    updateGeometry();
    elide();
  }
  QString fullText() const { return full_; }

protected:
  void resizeEvent(QResizeEvent* event) override {
    QLabel::resizeEvent(event);
    elide();
  }
  QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }
  QSize sizeHint() const override {
    return {qCeil(QFontMetricsF(font()).horizontalAdvance(full_)), QLabel::sizeHint().height()};
  }

private:
  void elide() { setText(fontMetrics().elidedText(full_, Qt::ElideMiddle, width())); }

  QString full_;
};

StatusBar::StatusBar(EditorModel* model, QWidget* parent)
    : QWidget(parent), model_(model), observer_(new ObservedRefresh([this] { refresh(); }, this)) {
  setObjectName(QStringLiteral("statusBar"));
  setFixedHeight(32);
  auto* layout = new QHBoxLayout(this);
  layout->setSpacing(14);
  layout->setContentsMargins(12, 0, 12, 0);

  const auto field = [this, layout](const QString& label, Field which, const char* name) {
    auto* timeField = new TimeField(
        label, model_, [model = model_, which] { return value(*model, which); },
        [model = model_, which](int64_t v) { commit(*model, which, v); }, this);
    timeField->edit()->setObjectName(QString::fromLatin1(name));
    connect(timeField, &TimeField::finished, this, &StatusBar::fieldFinished);
    layout->addWidget(timeField);
  };
  field(QStringLiteral("Start"), Field::start, "startField");
  field(QStringLiteral("End"), Field::end, "endField");
  field(QStringLiteral("Length"), Field::length, "lengthField");

  auto* divider = new QFrame(this);
  divider->setFrameShape(QFrame::VLine);
  divider->setFrameShadow(QFrame::Sunken);
  divider->setFixedHeight(16);
  layout->addWidget(divider);

  summary_ = new ElidedLabel(this);
  summary_->setObjectName(QStringLiteral("formatSummary"));
  summary_->setFont(ViewStyle::font(TextStyle::callout));
  summary_->setToolTip(QStringLiteral("Format of the audio being edited"));
  layout->addWidget(summary_, 0);
  duration_ = new QLabel(this);
  duration_->setObjectName(QStringLiteral("durationText"));
  duration_->setFont(ViewStyle::font(TextStyle::callout));
  layout->addWidget(duration_);
  layout->addStretch(1);

  snap_ = ViewStyle::iconButton(QStringLiteral("arrow.left.and.line.vertical.and.arrow.right"),
                                QStringLiteral("Snap selection edges to zero crossings (Ctrl+Alt+Z)"), 24, 20, this);
  snap_->setObjectName(QStringLiteral("snapToggle"));
  snap_->setCheckable(true);
  connect(snap_, &QToolButton::toggled, this, [this](bool on) { model_->setSnapToZeroCrossings(on); });
  layout->addWidget(snap_);

  timeFormat_ = new QComboBox(this);
  timeFormat_->setObjectName(QStringLiteral("timeFormatPicker"));
  timeFormat_->setFocusPolicy(Qt::NoFocus);
  timeFormat_->setFont(ViewStyle::font(TextStyle::small));
  timeFormat_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  timeFormat_->setToolTip(QStringLiteral("Time display format"));
  for (const TimeFormat format : quar::EnumCases<TimeFormat>::values) timeFormat_->addItem(title(format));
  // 150 points, or wider where the font needs it for the longest title.
  timeFormat_->setFixedWidth(std::max(150, timeFormat_->sizeHint().width()));
  connect(timeFormat_, &QComboBox::activated, this,
          [this](int index) { model_->setTimeFormat(quar::EnumCases<TimeFormat>::values[static_cast<size_t>(index)]); });
  layout->addWidget(timeFormat_);

  observer_->watch(model_);
  observer_->run();
}

int64_t StatusBar::value(const EditorModel& model, Field field) {
  const std::optional<FrameRange> selection = model.selection();
  switch (field) {
  case Field::start: return selection ? selection->lowerBound : model.cursor();
  case Field::end: return selection ? selection->upperBound : model.cursor();
  case Field::length: return selection ? selection->count() : 0;
  }
  return 0;
}

void StatusBar::commit(EditorModel& model, Field field, int64_t v) {
  v = std::clamp<int64_t>(v, 0, model.content().frameCount());
  const std::optional<FrameRange> selection = model.selection();
  const int64_t s = selection ? selection->lowerBound : model.cursor();
  switch (field) {
  case Field::start:
    if (selection)
      model.setSelection(FrameRange(std::min(v, selection->upperBound - 1), selection->upperBound), std::nullopt);
    else
      model.seek(v);
    break;
  case Field::end:
    model.setSelection(s < v ? std::optional(FrameRange(s, v)) : std::nullopt, std::nullopt);
    break;
  case Field::length:
    model.setSelection(v >= 1 ? std::optional(FrameRange(s, std::min(s + v, model.content().frameCount()))) : std::nullopt,
                       std::nullopt);
    break;
  }
}

void StatusBar::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) observer_->run();
}

void StatusBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().color(QPalette::Window));
}

void StatusBar::refresh() {
  summary_->setFullText(model_->formatSummary());
  const quar::AudioContent& content = model_->content();
  duration_->setText(durationString(content.frameCount(), content.sampleRate()));
  const QColor secondary = ViewStyle::secondary(palette());
  ViewStyle::setForeground(summary_, secondary);
  ViewStyle::setForeground(duration_, secondary);

  const QSignalBlocker blockSnap(snap_);
  snap_->setChecked(model_->snapToZeroCrossings());
  const QSignalBlocker blockFormat(timeFormat_);
  const auto& formats = quar::EnumCases<TimeFormat>::values;
  timeFormat_->setCurrentIndex(
      static_cast<int>(std::find(formats.begin(), formats.end(), model_->timeFormat()) - formats.begin()));
}
