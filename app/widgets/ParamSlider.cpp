#include "widgets/ParamSlider.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QSlider>

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <string>

#include "base/Numbers.h"
#include "widgets/ViewStyle.h"
#include "widgets/TextDrawing.h"
#include "widgets/ToneLabel.h"

namespace {

// The last digit a printf format shows: 10^-N for "%.Nf", 10^-6 for "%f"; 0 for any other.
double shownResolution(const QString& format) {
  static const QRegularExpression fixed(QStringLiteral("%[-+ #0]*\\d*(?:\\.(\\d+))?f"));
  const QRegularExpressionMatch match = fixed.match(format);
  if (!match.hasMatch()) return 0;
  const QString digits = match.captured(1);
  return std::pow(10.0, -(digits.isEmpty() ? 6 : digits.toInt()));
}

} // namespace

ParamSlider::ParamSlider(const QString& label, Binding<double> value, Range range, const QString& unit,
                         const QString& format, Scale scale, std::optional<double> defaultValue, QWidget* parent)
    : QWidget(parent), value_(std::move(value)), range_(range), format_(format), scale_(scale),
      label_(new ToneLabel(label, ViewStyle::calloutSize, ToneLabel::Tone::secondary, this)),
      slider_(new QSlider(Qt::Horizontal, this)), field_(new QLineEdit(this)),
      unit_(new ToneLabel(unit, ViewStyle::captionSize, ToneLabel::Tone::tertiary, this)) {
  label_->setObjectName(QStringLiteral("label"));
  label_->setFixedWidth(labelWidth);
  label_->installEventFilter(this);
  slider_->setObjectName(QStringLiteral("slider"));
  slider_->setRange(0, sliderSteps);
  slider_->installEventFilter(this);
  field_->setObjectName(QStringLiteral("field"));
  field_->setFixedWidth(valueWidth);
  field_->setFrame(false);
  QPalette plain = field_->palette();
  plain.setColor(QPalette::Base, Qt::transparent);
  field_->setPalette(plain);
  field_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  field_->setFont(TextDrawing::font(ViewStyle::calloutSize));
  field_->setAccessibleName(label);
  field_->installEventFilter(this);
  unit_->setObjectName(QStringLiteral("unit"));
  unit_->setFixedWidth(unitWidth);

  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(columnSpacing);
  row->addWidget(label_);
  row->addWidget(slider_, 1);
  row->addWidget(field_);
  row->addWidget(unit_);

  connect(slider_, &QSlider::valueChanged, this,
          [this](int step) { write(valueAt(static_cast<double>(step) / sliderSteps, range_, scale_)); });
  connect(field_, &QLineEdit::returnPressed, this, &ParamSlider::commit);
  setDefaultValue(defaultValue);
  refresh();
}

void ParamSlider::refresh() {
  const QSignalBlocker blocker(slider_);
  slider_->setValue(static_cast<int>(std::lround(position(value_.get(), range_, scale_) * sliderSteps)));
  if (!field_->hasFocus() || !field_->isModified()) showText();
}

void ParamSlider::dropTyping() {
  field_->setModified(false);
  refresh();
}

void ParamSlider::setLabel(const QString& label) {
  label_->setText(label);
  field_->setAccessibleName(label);
}

void ParamSlider::setDefaultValue(std::optional<double> value) {
  defaultValue_ = value;
  label_->setToolTip(value ? QStringLiteral("Double-click to reset") : QString());
}

QString ParamSlider::label() const { return label_->text(); }
QString ParamSlider::unit() const { return unit_->text(); }

double ParamSlider::position(double value, Range range, Scale scale) {
  if (std::isnan(value)) return 0;
  const double c = quar::clamped(value, range.lower, range.upper);
  const double p = scale == Scale::log ? std::log(c / range.lower) / std::log(range.upper / range.lower)
                                       : (c - range.lower) / (range.upper - range.lower);
  return std::isnan(p) ? 0 : p;
}

double ParamSlider::valueAt(double position, Range range, Scale scale) {
  if (scale == Scale::log) return range.lower * std::pow(range.upper / range.lower, position);
  return range.lower + position * (range.upper - range.lower);
}

QString ParamSlider::formatted(const QString& format, double value) {
  return QString::asprintf(format.toUtf8().constData(), value);
}

double ParamSlider::shownValue(const QString& format, double value) {
  // Adding zero turns "-0" into 0.
  return parse(formatted(format, value)).value_or(value) + 0.0;
}

std::optional<double> ParamSlider::parse(const QString& text) {
  QByteArray bytes = text.toUtf8().replace(',', '.');
  const char* first = bytes.constData();
  const char* last = first + bytes.size();
  // A plus sign is allowed where from_chars takes only a minus.
  if (first != last && *first == '+' && last - first > 1 && first[1] != '-' && first[1] != '+') ++first;
  double value = 0;
  const auto [end, error] = std::from_chars(first, last, value);
  if (first == last || end != last) return std::nullopt;
  // Beyond the range of a double: strtod gives the infinity or the zero it stands for.
  if (error == std::errc::result_out_of_range) {
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
    value = strtod_l(std::string(first, last).c_str(), nullptr, cLocale);
  } else if (error != std::errc()) {
    return std::nullopt;
  }
  if (std::isnan(value)) return std::nullopt;
  return value;
}

double ParamSlider::keyStep(double value, Range range, Scale scale, const QString& unit, const QString& format,
                            int direction, bool large) {
  const double v = std::isnan(value) ? range.lower : quar::clamped(value, range.lower, range.upper);
  const double sign = direction < 0 ? -1 : 1;
  double next = valueAt(position(v, range, scale) + sign * (large ? 0.1 : 0.01), range, scale);
  if (!large) {
    const bool log = scale == Scale::log;
    if (unit == QLatin1String("dB"))
      next = v + sign * 0.1;
    else if (unit == QLatin1String("ms"))
      next = v + sign * (log ? std::min(1.0, std::abs(next - v)) : 1.0);
    else if (unit == QLatin1String("Hz"))
      next = log ? v * std::exp2(sign / 100) : v + sign;
  }
  const double resolution = shownResolution(format);
  next = sign > 0 ? std::max(next, v + resolution) : std::min(next, v - resolution);
  return quar::clamped(next, range.lower, range.upper);
}

bool ParamSlider::eventFilter(QObject* watched, QEvent* event) {
  if (watched == label_ && event->type() == QEvent::MouseButtonDblClick) {
    if (defaultValue_) write(*defaultValue_);
    return true;
  }
  if (event->type() == QEvent::KeyPress && (watched == slider_ || watched == field_) &&
      step(static_cast<const QKeyEvent&>(*event), watched == field_))
    return true;
  if (watched == field_ && event->type() == QEvent::FocusOut) showText();
  return QWidget::eventFilter(watched, event);
}

void ParamSlider::write(double value) {
  value_.set(value);
  refresh();
}

void ParamSlider::commit() {
  if (const std::optional<double> typed = parse(field_->text()))
    write(quar::clamped(*typed, range_.lower, range_.upper));
  showText();
}

bool ParamSlider::step(const QKeyEvent& key, bool inField) {
  int direction = 0;
  bool large = false;
  switch (key.key()) {
  case Qt::Key_Up: direction = 1; break;
  case Qt::Key_Down: direction = -1; break;
  case Qt::Key_PageUp: direction = 1, large = true; break;
  case Qt::Key_PageDown: direction = -1, large = true; break;
  case Qt::Key_Right:
    if (!inField) direction = 1;
    break;
  case Qt::Key_Left:
    if (!inField) direction = -1;
    break;
  default: break;
  }
  if (direction == 0) return false;
  // In the field, a typed number is where the step starts.
  double from = value_.get();
  if (inField && field_->isModified())
    if (const std::optional<double> typed = parse(field_->text())) from = *typed;
  write(keyStep(from, range_, scale_, unit_->text(), format_, direction, large));
  showText();
  return true;
}

void ParamSlider::showText() { field_->setText(formatted(format_, value_.get())); }
