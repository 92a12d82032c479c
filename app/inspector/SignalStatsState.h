// SignalStatsState: the info panel's signal statistics: per-channel peak, RMS and DC offset of
// the selection, or of the whole content without one. Made with the panel, it measures at once
// and again whenever the content version or the selection's bounds change: the figures go
// (stats() is none) and 150 ms after the last change the content is measured on the utility
// pool. A result arrives only while its request is the latest one; a stale one is dropped, and
// so is one that arrives after the state is gone. A measurement stops early once a newer request,
// the state's end or the model's cancelBackgroundWork() supersedes it. Content without frames is
// never measured.
// A QObject model on the GUI thread; stats() records its read into the ObservationScope.
#pragma once

#include <QObject>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

#include "base/FrameRange.h"
#include "core/AudioContent.h"
#include "dsp/SignalAnalysis.h"
#include "platform/DebouncedTask.h"

class EditorModel;

class SignalStatsState final : public QObject {
  Q_OBJECT
public:
  enum class Property { stats };
  Q_ENUM(Property)

  // The measurement; runs on a pool thread. It asks `progress` every few milliseconds and
  // stops with CancellationError once it answers false.
  using Measure = std::function<quar::SignalStats(const quar::AudioContent& content, std::optional<quar::FrameRange> range,
                                                  const std::function<bool(double)>& progress)>;

  static constexpr std::chrono::milliseconds delay{150};

  explicit SignalStatsState(EditorModel* model, Measure measure = &quar::SignalAnalysis::stats,
                            QObject* parent = nullptr);

  // None until the latest request's figures arrive.
  const std::optional<quar::SignalStats>& stats() const;
  // Whether a request waits for its delay to pass (not tracked).
  bool isWaiting() const { return task_.isWaiting(); }
  // The debounce of the measurement (tests start a waiting request at once through it).
  DebouncedTask& task() { return task_; }

Q_SIGNALS:
  void changed(SignalStatsState::Property property);

private:
  // The content version and the selection's bounds (−1 without one).
  std::array<int64_t, 3> key() const;
  void restart();
  void setStats(std::optional<quar::SignalStats> stats);

  EditorModel* model_;
  Measure measure_;
  std::array<int64_t, 3> key_;
  std::optional<quar::SignalStats> stats_;
  DebouncedTask task_{delay};
};
