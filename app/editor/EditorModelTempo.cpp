// EditorModel: the tempo grid from detection, tap tempo, bar 1 placement and tempo scaling.
#include "editor/EditorModel.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "base/Numbers.h"
#include "core/EnvelopeSet.h"
#include "platform/JobPool.h"
#include "platform/Platform.h"

using quar::TempoGrid;

std::optional<TempoGrid> EditorModel::detectedGrid(const quar::TempoEstimate& estimate, int64_t beatsPerBar) {
  if (!(std::isfinite(estimate.bpm) && estimate.bpm > 0)) return std::nullopt;
  return TempoGrid(std::round(estimate.bpm * 100) / 100, beatsPerBar, estimate.downbeatFrame);
}

void EditorModel::detectTempo() {
  Platform::assertGuiThread();
  if (isDetectingTempo_ || content_.isEmpty()) return;
  setIsDetectingTempo(true);
  const int64_t beatsPerBar = grid_.beatsPerBar;
  JobPool::start([owner = QPointer<EditorModel>(this), content = content_, envelopes = envelopes_, beatsPerBar] {
    const std::optional<quar::TempoEstimate> estimate =
        quar::TempoDetector::detect(quar::EnvelopedSource(content, envelopes), std::nullopt,
                                    static_cast<int>(std::clamp<int64_t>(beatsPerBar, 1, INT_MAX)), 120.0);
    JobPool::deliver(owner, [estimate, beatsPerBar](EditorModel& model) {
      model.setIsDetectingTempo(false);
      const std::optional<TempoGrid> grid = estimate ? detectedGrid(*estimate, beatsPerBar) : std::nullopt;
      if (!grid) {
        Platform::beep();
        return;
      }
      model.setGrid(*grid);
      model.setTempoConfidence(estimate->confidence);
      model.setShowGrid(true);
    });
  });
}

void EditorModel::tapTempo() {
  Platform::assertGuiThread();
  const double now = clock_();
  if (!std::isfinite(now)) return;
  if (!taps_.empty() && now - taps_.back() > 2.0) taps_.clear();
  taps_.push_back(now);
  if (taps_.size() > 8) taps_.erase(taps_.begin(), taps_.end() - 8);
  if (taps_.size() < 2) return;
  const double span = taps_.back() - taps_.front();
  if (!(span > 0)) return;
  const double bpm = std::round(60 / (span / static_cast<double>(taps_.size() - 1)) * 10) / 10;
  if (!(std::isfinite(bpm) && bpm > 0)) return;
  TempoGrid grid = grid_;
  grid.bpm = bpm;  // not held within 20...400
  setGrid(grid);
  setTempoConfidence(std::nullopt);
  setShowGrid(true);
}

void EditorModel::setDownbeatAtCursor() {
  Platform::assertGuiThread();
  TempoGrid grid = grid_;
  grid.downbeatFrame = currentPosition();
  setGrid(grid);
  setShowGrid(true);
}

void EditorModel::scaleTempo(double factor) {
  Platform::assertGuiThread();
  if (!(std::isfinite(factor) && factor > 0)) return;
  TempoGrid grid = grid_;
  grid.bpm = quar::clamped(grid.bpm * factor, TempoGrid::bpmRange.lowerBound, TempoGrid::bpmRange.upperBound);
  setGrid(grid);
  setTempoConfidence(std::nullopt);
}
