#include "inspector/SpectrumGeometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "inspector/InspectorText.h"

namespace {

constexpr double lowestLogFrequency = 20;
constexpr double thinningWidth = 0.75;
constexpr size_t holdTracePoints = 800;
constexpr double labelMargin = 60;

QString frequencyLabel(double f) {
  return f >= 1000 ? InspectorText::wholeNumber(f / 1000) + QStringLiteral("k") : InspectorText::wholeNumber(f);
}

} // namespace

SpectrumGeometry::SpectrumGeometry(QSizeF canvas, double sampleRate, int fftSize, FrequencyScale frequencyScale,
                                   AmplitudeScale amplitudeScale)
    : plot_(30, 6, canvas.width() - 34, canvas.height() - 24),
      sampleRate_(sampleRate),
      fftSize_(fftSize),
      nyquist_(sampleRate * 0.5),
      frequencyScale_(frequencyScale),
      amplitudeScale_(amplitudeScale) {}

double SpectrumGeometry::x(double frequency) const {
  if (frequencyScale_ == FrequencyScale::linear) return plot_.left() + plot_.width() * frequency / nyquist_;
  const double decades = std::log10(nyquist_ / lowestLogFrequency);
  if (!(decades > 0)) return plot_.left();
  return plot_.left() +
         plot_.width() * std::log10(std::max(frequency, lowestLogFrequency) / lowestLogFrequency) / decades;
}

double SpectrumGeometry::y(double db) const {
  double t = amplitudeScale_ == AmplitudeScale::decibels ? (db + 120) / 120 : std::pow(10.0, db / 20);
  t = t > 0 ? std::min(t, 1.0) : 0.0;
  return plot_.bottom() - t * plot_.height();
}

std::vector<SpectrumGeometry::Tick> SpectrumGeometry::frequencyTicks() const {
  std::vector<double> values;
  if (frequencyScale_ == FrequencyScale::logarithmic) {
    values = {50, 100, 200, 500, 1000, 2000, 5000, 10000, 20000};
  } else {
    const double step = nyquist_ <= 30000 ? 5000 : 10000;
    for (double f = 0; f <= nyquist_; f += step) values.push_back(f);
  }
  std::vector<Tick> ticks;
  for (const double f : values)
    if (f <= nyquist_) ticks.push_back({f, frequencyLabel(f)});
  return ticks;
}

std::vector<SpectrumGeometry::Tick> SpectrumGeometry::levelTicks() const {
  if (amplitudeScale_ == AmplitudeScale::decibels)
    return {{0, QStringLiteral("0")},
            {-24, QStringLiteral("-24")},
            {-48, QStringLiteral("-48")},
            {-72, QStringLiteral("-72")},
            {-96, QStringLiteral("-96")}};
  return {{0, QStringLiteral("1")}, {-6.0206, QStringLiteral(".5")}, {-12.04, QStringLiteral(".25")}};
}

double SpectrumGeometry::binFrequency(size_t bin) const { return sampleRate_ * static_cast<double>(bin) / fftSize_; }

bool SpectrumGeometry::shows(double frequency) const {
  return frequencyScale_ == FrequencyScale::linear || frequency >= lowestLogFrequency;
}

std::vector<QPointF> SpectrumGeometry::curve(const std::vector<float>& spectrum) const {
  std::vector<QPointF> points;
  if (!isDrawable(spectrum)) return points;
  double lastX = -std::numeric_limits<double>::infinity();
  for (size_t i = 1; i < spectrum.size(); ++i) {
    const double f = binFrequency(i);
    if (!shows(f)) continue;
    const QPointF point(x(f), y(spectrum[i]));
    if (points.empty() || point.x() - lastX >= thinningWidth) {
      points.push_back(point);
      lastX = point.x();
    } else {
      points.back().setY(std::min(points.back().y(), point.y()));
    }
  }
  return points;
}

std::vector<QPointF> SpectrumGeometry::holdTrace(const std::vector<float>& held, size_t binCount) const {
  std::vector<QPointF> points;
  if (held.size() != binCount || binCount < 3) return points;
  const size_t step = binCount < holdTracePoints ? 1 : binCount / holdTracePoints;
  for (size_t i = 1; i < binCount; i += step) {
    const double f = binFrequency(i);
    if (shows(f)) points.emplace_back(x(f), y(held[i]));
  }
  return points;
}

std::optional<SpectrumGeometry::Readout> SpectrumGeometry::readout(QPointF pointer,
                                                                   const std::vector<float>& spectrum) const {
  if (!isDrawable(spectrum)) return std::nullopt;
  if (pointer.x() < plot_.left() || pointer.x() > plot_.right() || pointer.y() < plot_.top() ||
      pointer.y() > plot_.bottom())
    return std::nullopt;
  const double t = (pointer.x() - plot_.left()) / plot_.width();
  const double frequency = frequencyScale_ == FrequencyScale::logarithmic
                               ? lowestLogFrequency * std::pow(nyquist_ / lowestLogFrequency, t)
                               : nyquist_ * t;
  const double last = static_cast<double>(spectrum.size() - 1);
  const int bin = static_cast<int>(std::clamp(std::round(frequency * fftSize_ / sampleRate_), 0.0, last));
  const double level = spectrum[static_cast<size_t>(bin)];
  const QString text = frequency >= 1000 ? InspectorText::fixed(frequency / 1000, 2) + QStringLiteral(" kHz  ")
                                         : InspectorText::fixed(frequency, 0) + QStringLiteral(" Hz  ");
  const double centerX = std::min(std::max(pointer.x(), plot_.left() + labelMargin), plot_.right() - labelMargin);
  return Readout{frequency, bin, text + InspectorText::fixed(level, 1) + QStringLiteral(" dB"),
                 QPointF(centerX, plot_.top() + 10)};
}
