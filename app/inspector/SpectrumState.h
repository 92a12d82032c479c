// SpectrumState: the spectrum tab's model: the display choices (FFT size, frequency and
// amplitude scales, peak hold), the spectrum shown and the held peaks (dB per FFT bin, bin 0 =
// DC), the cached analyser of the live mode and the debounced background average of the idle
// mode. It follows its editor model: while the model plays, a 33 ms timer analyses one frame at
// the playhead and folds it into the shown spectrum (falling at most 2.5 dB per update) and into
// the held peaks (sinking 0.15 dB per update); while idle, every change of the static key
// (content version, selection, cursor, FFT size, play state) asks for the average of the static
// range, which replaces the spectrum 80 ms after the last request by the average of up to 256
// frames, computed on the user-initiated pool with an analyser of its own, and empties the held
// peaks. Every analysis uses the Blackman-Harris window.
// A QObject model on the GUI thread; the tracked getters record their reads into the
// ObservationScope.
#pragma once

#include <QObject>
#include <QTimer>

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "base/Enums.h"
#include "base/FrameRange.h"
#include "core/AudioContent.h"
#include "dsp/SpectrumAnalyzer.h"
#include "platform/DebouncedTask.h"

class EditorModel;

enum class FrequencyScale { linear, logarithmic };
enum class AmplitudeScale { decibels, linear };

template <>
struct quar::EnumCases<FrequencyScale> {
  static constexpr std::array values{FrequencyScale::linear, FrequencyScale::logarithmic};
};
template <>
struct quar::EnumCases<AmplitudeScale> {
  static constexpr std::array values{AmplitudeScale::decibels, AmplitudeScale::linear};
};

// "linear", "logarithmic"; "decibels", "linear".
std::string_view rawValue(FrequencyScale scale);
std::string_view rawValue(AmplitudeScale scale);

class SpectrumState final : public QObject {
  Q_OBJECT
public:
  enum class Property { fftSize, frequencyScale, amplitudeScale, holdPeaks, spectrum, peakHold };
  Q_ENUM(Property)

  // The FFT sizes offered, in frames.
  static constexpr std::array<int, 6> fftSizes{1024, 2048, 4096, 8192, 16384, 32768};
  static constexpr quar::WindowFunction window = quar::WindowFunction::blackmanHarris;
  static constexpr std::chrono::milliseconds averageDelay{80};
  static constexpr int averageFrames = 256;
  static constexpr float liveFallDB = 2.5f;
  static constexpr float holdFallDB = 0.15f;
  static constexpr std::chrono::milliseconds liveInterval{33};

  // Follows `model` from now on: an average of its static range at once (after the delay), or
  // live updates while it plays.
  explicit SpectrumState(EditorModel* model, QObject* parent = nullptr);

  // The range the idle average covers: the selection, else half a second (truncated to frames)
  // either side of the cursor, the cursor first held within the content.
  static quar::FrameRange staticRange(const EditorModel& model);

  int fftSize() const;
  // Every assignment, even of the same size, drops the cached analyser and the held peaks.
  void setFFTSize(int size);
  FrequencyScale frequencyScale() const;
  void setFrequencyScale(FrequencyScale scale);
  AmplitudeScale amplitudeScale() const;
  void setAmplitudeScale(AmplitudeScale scale);
  bool holdPeaks() const;
  // Every assignment empties the held peaks.
  void setHoldPeaks(bool hold);
  const std::vector<float>& spectrum() const;
  void setSpectrum(std::vector<float> spectrum);
  const std::vector<float>& peakHold() const;
  void setPeakHold(std::vector<float> levels);

  // The live analyser for the current FFT size, made when there is none of that size.
  quar::SpectrumAnalyzer& ensureAnalyzer();
  // Whether a live analyser is cached (not tracked).
  bool hasAnalyzer() const { return analyzer_ != nullptr; }
  // Folds a fresh live spectrum into the shown one; one of another length replaces it.
  void mergeLive(const std::vector<float>& fresh);
  // Folds the shown spectrum into the held peaks while peaks are held.
  void accumulateHold();
  // Replaces any waiting or running average by one of `range` of `content` at the current FFT
  // size, published after the delay and the computation unless superseded. Returns at once.
  void updateAverage(quar::AudioContent content, quar::FrameRange range);
  // Whether an average waits for its delay (not tracked).
  bool isAverageWaiting() const { return averageTask_.isWaiting(); }
  // The debounce of the average (tests start a waiting average at once through it).
  DebouncedTask& averageTask() { return averageTask_; }
  // Runs while the model plays.
  const QTimer& liveTimer() const { return liveTimer_; }

Q_SIGNALS:
  void changed(SpectrumState::Property property);

private:
  using StaticKey = std::array<int64_t, 6>;

  void track(Property property) const;
  StaticKey staticKey() const;
  // Asks for a new average when the static key changed (or always, with `force`).
  void followStaticKey(bool force);
  void followPlayState();
  void liveUpdate();

  EditorModel* model_;
  int fftSize_ = 8192;
  FrequencyScale frequencyScale_ = FrequencyScale::logarithmic;
  AmplitudeScale amplitudeScale_ = AmplitudeScale::decibels;
  bool holdPeaks_ = true;
  std::vector<float> spectrum_;
  std::vector<float> peakHold_;
  std::unique_ptr<quar::SpectrumAnalyzer> analyzer_;
  DebouncedTask averageTask_{averageDelay};
  QTimer liveTimer_;
  std::optional<StaticKey> key_;
};
