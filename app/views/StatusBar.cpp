#include "views/StatusBar.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QEvent>
#include <QFontMetricsF>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QSignalBlocker>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QToolButton>
#include <QtMath>

#include <algorithm>

#include "editor/EditorModel.h"
#include "platform/Icons.h"
#include "platform/ObservedRefresh.h"
#include "views/TimeField.h"
#include "widgets/ViewStyle.h"

using quar::FrameRange;
using ViewStyle::TextStyle;

namespace {

constexpr int spacing = 14;
constexpr int inset = 12;

} // namespace

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
  QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }
  QSize sizeHint() const override {
    return {qCeil(QFontMetricsF(font()).horizontalAdvance(full_)), QLabel::sizeHint().height()};
  }

protected:
  void resizeEvent(QResizeEvent* event) override {
    QLabel::resizeEvent(event);
    elide();
  }

private:
  void elide() { setText(fontMetrics().elidedText(full_, Qt::ElideMiddle, width())); }

  QString full_;
};

// The time format picker: a pop-up of the format titles; in its compact form the closed picker
// shows a clock instead of the title, and its pop-up still lists the titles.
class StatusBar::FormatPicker final : public QComboBox {
public:
  explicit FormatPicker(QWidget* parent) : QComboBox(parent) {
    setFont(ViewStyle::font(TextStyle::small));
    setSizeAdjustPolicy(QComboBox::AdjustToContents);
    for (const TimeFormat format : quar::EnumCases<TimeFormat>::values) addItem(title(format));
    // 150 points, or wider where the font needs it for the longest title.
    fullWidth_ = std::max(150, QComboBox::sizeHint().width());
    QStyleOptionComboBox option;
    initStyleOption(&option);
    const QSize icon(iconSize, fontMetrics().height());
    compactWidth_ = style()->sizeFromContents(QStyle::CT_ComboBox, &option, icon, this).width();
    view()->setMinimumWidth(fullWidth_);
    setCompact(false);
  }

  int fullWidth() const { return fullWidth_; }
  int compactWidth() const { return compactWidth_; }
  bool isCompact() const { return compact_; }
  QSize sizeHint() const override { return {compact_ ? compactWidth_ : fullWidth_, QComboBox::sizeHint().height()}; }
  QSize minimumSizeHint() const override { return sizeHint(); }
  void setCompact(bool compact) {
    compact_ = compact;
    setFixedWidth(compact ? compactWidth_ : fullWidth_);
    update();
  }

protected:
  void paintEvent(QPaintEvent*) override {
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    if (compact_) {
      option.currentText.clear();
      option.currentIcon = Icons::tinted(QStringLiteral("clock"));
      option.iconSize = QSize(iconSize, iconSize);
    }
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
  }

private:
  static constexpr int iconSize = 14;
  int fullWidth_ = 0;
  int compactWidth_ = 0;
  bool compact_ = false;
};

StatusBar::StatusBar(EditorModel* model, QWidget* parent)
    : QWidget(parent), model_(model), observer_(new ObservedRefresh([this] { refresh(); }, this)) {
  setObjectName(QStringLiteral("statusBar"));
  setFixedHeight(32);
  auto* layout = new QHBoxLayout(this);
  layout->setSpacing(spacing);
  layout->setContentsMargins(inset, 0, inset, 0);
  // The bar decides what gives way; the layout puts no minimum on it.
  layout->setSizeConstraint(QLayout::SetNoConstraint);

  const auto field = [this, layout](const QString& label, Field which, const char* name) {
    auto* timeField = new TimeField(
        label, model_, [model = model_, which] { return value(*model, which); },
        [model = model_, which](int64_t v) { commit(*model, which, v); }, this);
    timeField->edit()->setObjectName(QString::fromLatin1(name));
    connect(timeField, &TimeField::finished, this, &StatusBar::fieldFinished);
    layout->addWidget(timeField);
    return timeField;
  };
  fields_ = {field(QStringLiteral("Start"), Field::start, "startField"),
             field(QStringLiteral("End"), Field::end, "endField"),
             field(QStringLiteral("Length"), Field::length, "lengthField")};

  divider_ = new QFrame(this);
  divider_->setFrameShape(QFrame::VLine);
  divider_->setFrameShadow(QFrame::Plain);
  divider_->setForegroundRole(QPalette::Mid);
  divider_->setFixedSize(1, 16);
  layout->addWidget(divider_);

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

  timeFormat_ = new FormatPicker(this);
  timeFormat_->setObjectName(QStringLiteral("timeFormatPicker"));
  timeFormat_->setFocusPolicy(Qt::NoFocus);
  timeFormat_->setToolTip(QStringLiteral("Time display format"));
  connect(timeFormat_, &QComboBox::activated, this, [this](int index) {
    model_->viewSettings().setTimeFormat(quar::EnumCases<TimeFormat>::values[static_cast<size_t>(index)]);
  });
  layout->addWidget(timeFormat_);

  observer_->watch(model_);

  observer_->watch(&model_->viewSettings());
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

StatusBar::Fit StatusBar::fit(int width, const Widths& widths) {
  int room = width - 2 * inset - widths.fields;
  const auto take = [&room](int itemWidth) {
    if (room < spacing + itemWidth) return false;
    room -= spacing + itemWidth;
    return true;
  };
  Fit shown{};
  shown.snap = take(widths.snap);
  shown.picker = take(widths.compactPicker);
  // The picker's full width comes before the summary, so its form depends on the bar's width
  // alone and never on the file's summary.
  const int fullPicker = widths.picker - widths.compactPicker;
  shown.pickerCompact = shown.picker && room < fullPicker;
  if (shown.picker && !shown.pickerCompact) room -= fullPicker;
  // The divider and the spacing on both of its sides come with the summary, which shows only
  // beside the picker in full: it gives way before the picker shrinks.
  const int besideSummary = 2 * spacing + 1;
  shown.summary = shown.picker && !shown.pickerCompact &&
                  room >= besideSummary + std::min(widths.summary, minimumSummaryWidth);
  const bool fullSummary = shown.summary && room >= besideSummary + widths.summary;
  if (shown.summary) room -= besideSummary + std::min(widths.summary, room - besideSummary);
  shown.duration = fullSummary && take(widths.duration);
  return shown;
}

bool StatusBar::event(QEvent* event) {
  // A field widened for another time format, or a new summary text.
  if (event->type() == QEvent::LayoutRequest) arrange();
  return QWidget::event(event);
}

void StatusBar::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) observer_->run();
}

void StatusBar::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  arrange();
}

QSize StatusBar::minimumSizeHint() const { return {2 * inset + fieldsWidth(), height()}; }

int StatusBar::fieldsWidth() const {
  int width = spacing * (static_cast<int>(fields_.size()) - 1);
  for (const TimeField* field : fields_) width += field->sizeHint().width();
  return width;
}

void StatusBar::arrange() {
  const Fit shown = fit(width(), {fieldsWidth(), snap_->width(), timeFormat_->compactWidth(), timeFormat_->fullWidth(),
                                  summary_->sizeHint().width(), duration_->sizeHint().width()});
  // Only changes: each one asks for a new layout, which arranges again.
  const auto setShown = [](QWidget* widget, bool on) {
    if (widget->isHidden() == on) widget->setVisible(on);
  };
  setShown(snap_, shown.snap);
  setShown(timeFormat_, shown.picker);
  if (timeFormat_->isCompact() != shown.pickerCompact) timeFormat_->setCompact(shown.pickerCompact);
  setShown(divider_, shown.summary);
  setShown(summary_, shown.summary);
  setShown(duration_, shown.duration);
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
  const TimeFormat format = model_->viewSettings().timeFormat();
  timeFormat_->setCurrentIndex(static_cast<int>(std::find(formats.begin(), formats.end(), format) - formats.begin()));
}
