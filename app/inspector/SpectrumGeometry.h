// SpectrumGeometry: where the spectrum plot puts things on a canvas of a given size: the plot
// rectangle (30 points for level labels on the left, 4 on the right, 6 on top, 18 below), the
// frequency axis (logarithmic from 20 Hz, or linear from 0, to the Nyquist frequency), the
// level axis (−120…0 dB, or linear amplitude 0…1), the grid ticks and their labels, the curve
// thinned to one point per 0.75 point of width, the peak-hold trace and the hover read-out.
// Frequencies in Hz, levels in dB, coordinates in points with y growing downward. Pure values.
#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <optional>
#include <vector>

#include "inspector/SpectrumState.h"

class SpectrumGeometry {
public:
  struct Tick {
    double value;  // Hz or dB
    QString label;
    bool operator==(const Tick&) const = default;
  };
  struct Readout {
    double frequency;      // Hz under the pointer
    int bin;               // the spectrum value shown
    QString text;          // "1.00 kHz  -12.3 dB", "440 Hz  -6.0 dB"
    QPointF labelCenter;
  };

  SpectrumGeometry(QSizeF canvas, double sampleRate, int fftSize, FrequencyScale frequencyScale,
                   AmplitudeScale amplitudeScale);

  const QRectF& plot() const { return plot_; }
  double nyquist() const { return nyquist_; }
  double x(double frequency) const;
  double y(double db) const;
  // Grid lines with their labels; frequency ticks above the Nyquist frequency are left out.
  std::vector<Tick> frequencyTicks() const;
  std::vector<Tick> levelTicks() const;
  // Whether the spectrum has enough values to be drawn (and hovered): at least 3.
  static bool isDrawable(const std::vector<float>& spectrum) { return spectrum.size() >= 3; }
  // The curve through bins [1, n) (below 20 Hz skipped on the log scale), thinned: a point
  // closer than 0.75 point to the last kept one raises that one to the louder of the two.
  std::vector<QPointF> curve(const std::vector<float>& spectrum) const;
  // Every step-th held bin from 1 (step n / 800 from 800 bins on, else 1), unthinned; empty
  // unless `held` has exactly `binCount` values.
  std::vector<QPointF> holdTrace(const std::vector<float>& held, size_t binCount) const;
  // The read-out for a pointer inside the plot rectangle over a drawable spectrum.
  std::optional<Readout> readout(QPointF pointer, const std::vector<float>& spectrum) const;

private:
  // The frequency of bin i, and whether the axis shows it.
  double binFrequency(size_t bin) const;
  bool shows(double frequency) const;

  QRectF plot_;
  double sampleRate_;
  int fftSize_;
  double nyquist_;
  FrequencyScale frequencyScale_;
  AmplitudeScale amplitudeScale_;
};
