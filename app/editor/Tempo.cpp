#include "editor/Tempo.h"

#include <QPointer>

#include <algorithm>
#include <climits>
#include <cmath>

#include "base/Numbers.h"
#include "base/QuarError.h"
#include "platform/JobPool.h"
#include "platform/Observable.h"
#include "platform/Platform.h"

using quar::TempoGrid;

void Tempo::setGrid(TempoGrid grid) {
  if (!(std::isfinite(grid.bpm) && grid.bpm > 0) || grid.beatsPerBar < 1) return;
  assignObserved(this, grid_, grid, Property::grid);
}

void Tempo::setShowGrid(bool show) { assignObserved(this, showGrid_, show, Property::showGrid); }

void Tempo::setSnapToGrid(bool snap) { assignObserved(this, snapToGrid_, snap, Property::snapToGrid); }

void Tempo::setIsDetectingTempo(bool detecting) {
  assignObserved(this, isDetectingTempo_, detecting, Property::isDetectingTempo);
}

void Tempo::setTempoConfidence(std::optional<double> confidence) {
  assignObserved(this, tempoConfidence_, confidence, Property::tempoConfidence);
}

std::optional<TempoGrid> Tempo::detectedGrid(const quar::TempoEstimate& estimate, int64_t beatsPerBar) {
  if (!(std::isfinite(estimate.bpm) && estimate.bpm > 0)) return std::nullopt;
  return TempoGrid(std::round(estimate.bpm * 100) / 100, beatsPerBar, estimate.downbeatFrame);
}

void Tempo::detectTempo(const quar::AudioContent& content, const quar::EnvelopeSet& envelopes) {
  Platform::assertGuiThread();
  if (isDetectingTempo_ || content.isEmpty()) return;
  setIsDetectingTempo(true);
  const int64_t beatsPerBar = grid_.beatsPerBar;
  const uint64_t detection = detection_->load();
  JobPool::start([owner = QPointer<Tempo>(this), generation = detection_, detection, content, envelopes, beatsPerBar] {
    std::optional<quar::TempoEstimate> estimate;
    try {
      estimate = quar::TempoDetector::detect(quar::EnvelopedSource(content, envelopes), std::nullopt,
                                             static_cast<int>(std::clamp<int64_t>(beatsPerBar, 1, INT_MAX)), 120.0,
                                             [&](double) { return generation->load() == detection; });
    } catch (const quar::CancellationError&) {
      return;
    }
    JobPool::deliver(owner, [estimate, beatsPerBar, generation, detection](Tempo& tempo) {
      if (generation->load() != detection) return;
      tempo.setIsDetectingTempo(false);
      const std::optional<TempoGrid> grid = estimate ? detectedGrid(*estimate, beatsPerBar) : std::nullopt;
      if (!grid) {
        Platform::beep();
        return;
      }
      tempo.setGrid(*grid);
      tempo.setTempoConfidence(estimate->confidence);
      tempo.setShowGrid(true);
    });
  });
}

void Tempo::cancelDetection() {
  Platform::assertGuiThread();
  ++*detection_;
  setIsDetectingTempo(false);
}

void Tempo::tapTempo() {
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
  grid.bpm = bpm;  // not held within [20, 400]
  setGrid(grid);
  setTempoConfidence(std::nullopt);
  setShowGrid(true);
}

void Tempo::setDownbeat(int64_t frame) {
  Platform::assertGuiThread();
  TempoGrid grid = grid_;
  grid.downbeatFrame = frame;
  setGrid(grid);
  setShowGrid(true);
}

void Tempo::scaleTempo(double factor) {
  Platform::assertGuiThread();
  if (!(std::isfinite(factor) && factor > 0)) return;
  TempoGrid grid = grid_;
  grid.bpm = quar::clamped(grid.bpm * factor, TempoGrid::bpmRange.lowerBound, TempoGrid::bpmRange.upperBound);
  setGrid(grid);
  setTempoConfidence(std::nullopt);
}
