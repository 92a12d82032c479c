// Tempo: the document's tempo grid and how it is shown and used: the grid itself, whether it is
// drawn and snapped to, and tempo detection and tap tempo. Not undoable. Frames are at the
// content's sample rate, tempo in BPM. A QObject on the GUI thread with tracked getters, like
// EditorModel's.
#pragma once

#include <QObject>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/AudioContent.h"
#include "core/EnvelopeSet.h"
#include "core/TempoGrid.h"
#include "dsp/TempoDetector.h"
#include "platform/ObservationScope.h"

class Tempo final : public QObject {
  Q_OBJECT
public:
  enum class Property { grid, showGrid, snapToGrid, isDetectingTempo, tempoConfidence };
  Q_ENUM(Property)

  explicit Tempo(QObject* parent = nullptr) : QObject(parent) {}

  const quar::TempoGrid& grid() const { return track(Property::grid), grid_; }
  // Refuses (the grid stays) a tempo that is not finite and above 0 or fewer than 1 beat per bar,
  // so that grid arithmetic never divides by zero.
  void setGrid(quar::TempoGrid grid);
  bool showGrid() const { return track(Property::showGrid), showGrid_; }
  void setShowGrid(bool show);
  bool snapToGrid() const { return track(Property::snapToGrid), snapToGrid_; }
  void setSnapToGrid(bool snap);
  bool isDetectingTempo() const { return track(Property::isDetectingTempo), isDetectingTempo_; }
  void setIsDetectingTempo(bool detecting);
  std::optional<double> tempoConfidence() const { return track(Property::tempoConfidence), tempoConfidence_; }
  void setTempoConfidence(std::optional<double> confidence);

  // Detects tempo and bar 1 of `content` with `envelopes` applied (the audio as heard), off the
  // GUI thread; beeps when none is found. Nothing while a detection runs or for empty content.
  void detectTempo(const quar::AudioContent& content, const quar::EnvelopeSet& envelopes);
  // Stops a running detection at its next progress check (within milliseconds) and lets go of
  // its audio; it sets nothing. For a closing document.
  void cancelDetection();
  // Registers a tap now; from the second tap within 2 s of the last one the tempo is the mean
  // interval of the last eight taps (rounded to 0.1 BPM, not held within [20, 400]).
  void tapTempo();
  // Bar 1 at `frame`, and the grid shown.
  void setDownbeat(int64_t frame);
  // Multiplies the tempo, held within [20, 400]; a factor that is not finite and above 0 does nothing.
  void scaleTempo(double factor);
  // The grid a detection sets: tempo rounded to hundredths and held within [20, 400], at least
  // one beat per bar, bar 1 at the estimate's downbeat; none without a finite tempo above 0.
  static std::optional<quar::TempoGrid> detectedGrid(const quar::TempoEstimate& estimate, int64_t beatsPerBar);
  // The seconds source of tap tempo (a monotonic clock); replaceable in tests.
  void setClock(std::function<double()> clock) { clock_ = std::move(clock); }
  // Tap times in seconds of the clock, at most eight.
  const std::vector<double>& taps() const { return taps_; }

Q_SIGNALS:
  void changed(Tempo::Property property);

private:
  void track(Property property) const { ObservationScope::record(this, property); }

  quar::TempoGrid grid_;
  bool showGrid_ = false;
  bool snapToGrid_ = true;
  bool isDetectingTempo_ = false;
  std::optional<double> tempoConfidence_;
  std::vector<double> taps_;
  // Counts detections cancelled; a detection runs while it is the count it started with.
  std::shared_ptr<std::atomic<uint64_t>> detection_ = std::make_shared<std::atomic<uint64_t>>(0);
  std::function<double()> clock_ = [] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
  };
};
