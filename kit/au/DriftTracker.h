// DriftTracker: measures where each click of a pilot click track lands in the time-pitch
// unit's output and turns the difference from its ideal position into a small rate correction
// (a proportional-integral controller, held within ±2 %). Positions are output frames of the
// stretcher, priming included. Belongs to one stretcher and its rendering thread; consume
// allocates only when recording a measured click.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace quar {

class DriftTracker {
public:
  // How the click delay is known: `known` carries the measured priming frames (windows are
  // centred on it and it is the reference); `calibrate` centres the windows on the unit's
  // reported latency and takes the first measured delay as the reference.
  struct Mode {
    static Mode known(int64_t frames) { return Mode{frames}; }
    static Mode calibrate() { return Mode{std::nullopt}; }
    std::optional<int64_t> knownFrames;
  };

  // rate: the requested tempo factor (finite, positive); sampleRate in Hz; reportedLatency in
  // output frames.
  DriftTracker(double rate, double sampleRate, Mode mode, int64_t reportedLatency);

  // Takes `count` samples of pilot output whose first sample is output frame `start`; calls
  // follow each other without gaps. True when at least one click was measured (and the
  // correction updated) during this call.
  bool consume(const float* samples, int64_t start, int64_t count);

  const double rate;
  const int64_t period;      // click spacing in pilot input frames
  const int64_t halfWindow;  // output frames either side of a click's expected position
  const double horizon;      // controller time constant in frames
  const int64_t estimate;    // expected click delay in output frames

  const std::optional<double>& reference() const { return reference_; }
  // Every measured click delay, in click order.
  const std::vector<double>& offsets() const { return offsets_; }
  // Fractional rate correction, within [-0.02, 0.02].
  double correction() const { return correction_; }
  double integral() const { return integral_; }
  // Index of the click whose window is being searched; starts at 1.
  int64_t click() const { return click_; }
  // The output frame that closes the window of `click`: the consume call whose samples reach it
  // measures that click. Reads only the constant fields, so any thread may ask.
  int64_t windowEnd(int64_t click) const { return centre(click) + halfWindow; }

private:
  // Where the window of `click` is centred, in output frames.
  int64_t centre(int64_t click) const;

  std::optional<double> reference_;
  std::vector<double> offsets_;
  double correction_ = 0;
  double integral_ = 0;
  int64_t click_ = 1;
  double num_ = 0;  // sum of x² × position over the current window
  double den_ = 0;  // sum of x² over the current window
};

} // namespace quar
