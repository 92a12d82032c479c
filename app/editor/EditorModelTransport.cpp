// The editor model's transport and metering.
#include "editor/EditorModel.h"

#include <QTimer>

#include <algorithm>
#include <cmath>

#include "base/Decibels.h"
#include "effects/EffectsRack.h"
#include "platform/Platform.h"
#include "recording/Recorder.h"

using quar::Decibels;
using quar::FrameRange;

namespace {

constexpr int transportIntervalMs = 33;  // 1/30 s
constexpr double meterFallDB = 2.0 / 3;  // per tick: 20 dB per second
constexpr double holdFallDB = 0.5;       // every holdFallTicks ticks
constexpr int64_t holdFallTicks = 45;
constexpr double emptyWindowDB = -120;

} // namespace

void EditorModel::play(bool selectionOnly) {
  Platform::assertGuiThread();
  const int64_t n = content_.frameCount();
  if (n == 0 || recorder_->isRecording()) return;
  FrameRange range(0, n);
  int64_t start = 0;
  if (selection_ && (selectionOnly || isLooping_)) {
    range = *selection_;
    start = selection_->lowerBound;
  } else {
    const int64_t p = selection_ ? selection_->lowerBound : cursor_;
    start = p < n - 1 ? p : 0;
  }
  rack_->activate(player_.renderState(), content_.sampleRate(), content_.channelCount());
  player_.setEnvelopes(envelopes_);
  try {
    player_.play(content_, range, start, isLooping_, previewGain());
  } catch (...) {
    presentError(std::current_exception());
    return;
  }
  playOrigin_ = start;
  setPlayhead(start);
  setIsPlaying(true);
  setMeter(MeterReading::resting(content_.channelCount()));
  meterTick_ = 0;
  if (!transportTimer_) {
    transportTimer_ = new QTimer(this);
    transportTimer_->setTimerType(Qt::PreciseTimer);
    transportTimer_->setInterval(transportIntervalMs);
    connect(transportTimer_, &QTimer::timeout, this, &EditorModel::transportTick);
  }
  transportTimer_->start();
}

void EditorModel::togglePlayback() {
  if (recorder_->isRecording())
    recorder_->stop();
  else if (isPlaying_)
    stop(true);
  else
    play(false);
}

void EditorModel::goToStart() {
  stop(false);
  setSelection(std::nullopt);
  seek(0);
  setScrollFrame(0);
}

void EditorModel::goToEnd() {
  stop(false);
  setSelection(std::nullopt);
  seek(content_.frameCount());
}

void EditorModel::transportTick() {
  player_.releaseRetired();
  if (player_.outputLost()) {
    // The device went away: stop where its audio stopped.
    setPlayhead(player_.audiblePosition());
    stop(true);
    return;
  }
  if (player_.isFinished()) {
    stop(false);
    setPlayhead(playOrigin_);
    return;
  }
  setPlayhead(player_.audiblePosition());
  const auto p = static_cast<double>(playhead_);
  const double visibleFrames = viewWidth_ * framesPerPoint_;
  // A loop that the view shows whole keeps the playhead in view: the view stays still.
  const FrameRange range = playRange();
  const bool loopInView = isLooping_ && scrollFrame_ <= static_cast<double>(range.lowerBound) &&
                          static_cast<double>(range.upperBound) <= scrollFrame_ + visibleFrames;
  if (!loopInView && (scrollFrame_ + visibleFrames * 0.95 < p || scrollFrame_ > p)) {
    setScrollFrame(p - visibleFrames * 0.05);
    clampScroll();
  }
  updateMeters();
}

float EditorModel::previewGain() const {
  if (!previewLoudness_) return 1;
  const auto plan = loudnessPlan();
  return plan ? static_cast<float>(Decibels::toLinear(plan->gainDB)) : 1.0f;
}

void EditorModel::updateMeters() {
  const int64_t pos = playhead_;
  const int64_t n = content_.frameCount();
  const double rate = content_.sampleRate();
  const int channels = content_.channelCount();
  const double offset = Decibels::fromLinear(previewGain()) + envelopes_.master.gainDB(static_cast<double>(pos));
  // The `seconds` before the playhead, within the content.
  auto window = [&](double seconds) {
    const int64_t frames = std::max<int64_t>(static_cast<int64_t>(rate * seconds), 1);
    const int64_t upper = std::clamp<int64_t>(pos, 0, n);
    return FrameRange(std::clamp<int64_t>(pos - frames, 0, upper), upper);
  };

  MeterReading reading = meter_.peakDB.size() == static_cast<size_t>(channels) ? meter_ : MeterReading::resting(channels);
  const FrameRange peakWindow = window(0.05);
  for (int c = 0; c < channels; ++c) {
    const auto i = static_cast<size_t>(c);
    const quar::PeakSummary summary = content_.peaks(c, peakWindow);
    double peak = emptyWindowDB, rms = emptyWindowDB;
    if (!summary.isEmpty()) {
      const float amplitude = std::max(std::abs(summary.min), std::abs(summary.max));
      peak = Decibels::fromLinear(amplitude) + offset;
      rms = Decibels::fromLinear(summary.rms()) + offset;
    }
    reading.peakDB[i] = std::max(reading.peakDB[i] - meterFallDB, peak);
    reading.rmsDB[i] = std::max(reading.rmsDB[i] - meterFallDB, rms);
    if (peak >= reading.holdDB[i])
      reading.holdDB[i] = peak;
    else if (meterTick_ % holdFallTicks == 0)
      reading.holdDB[i] -= holdFallDB;
  }
  if (const FrameRange momentary = window(0.4); !momentary.isEmpty()) {
    reading.momentaryLUFS = quar::LoudnessAnalyzer::windowLoudness(content_, momentary) + offset;
    reading.maxMomentaryLUFS = std::max(reading.maxMomentaryLUFS, reading.momentaryLUFS);
  }
  if (meterTick_ % 3 == 0)
    if (const FrameRange shortTerm = window(3.0); !shortTerm.isEmpty())
      reading.shortTermLUFS = quar::LoudnessAnalyzer::windowLoudness(content_, shortTerm) + offset;
  ++meterTick_;
  setMeter(std::move(reading));
}
