// The editor model's transport and metering.
#include "editor/EditorModel.h"

#include <algorithm>
#include <cmath>

#include "base/Decibels.h"
#include "effects/EffectsRack.h"
#include "platform/Platform.h"
#include "recording/Recorder.h"

using quar::Decibels;
using quar::FrameRange;

// Plays from the selection's start (else the cursor; from 0 when that is the last frame or
// beyond) to the end, or, with selectionOnly or looping, the selection. Nothing happens on an
// empty document or while recording; a device failure goes to the error presenter and
// playback stays stopped.
void EditorModel::play(bool selectionOnly) {
  Platform::assertGuiThread();
  const int64_t n = content_.frameCount();
  if (n == 0 || recorder_->isRecording()) return;
  FrameRange range(0, n);
  int64_t start = 0;
  if (selection_ && (selectionOnly || transport_.isLooping())) {
    range = *selection_;
    start = selection_->lowerBound;
  } else {
    const int64_t p = selection_ ? selection_->lowerBound : cursor_;
    start = p < n - 1 ? p : 0;
  }
  rack_->activate(transport_.player().renderState(), content_.sampleRate(), content_.channelCount());
  transport_.player().setEnvelopes(envelopes_);
  try {
    transport_.player().play(content_, range, start, transport_.isLooping(), previewGain());
  } catch (...) {
    presentError(std::current_exception());
    return;
  }
  transport_.started(start, content_.channelCount());
}

// Stops a recording; else stops playback keeping the position, or plays.
void EditorModel::togglePlayback() {
  if (recorder_->isRecording())
    recorder_->stop();
  else if (transport_.isPlaying())
    stop(true);
  else
    play(false);
}

// Stops, clears the selection and seeks to frame 0 (scrolled to the start) or to the end.
void EditorModel::goToStart() {
  stop(false);
  setSelection(std::nullopt);
  seek(0);
  viewport_.setScrollFrame(0);
}

void EditorModel::goToEnd() {
  stop(false);
  setSelection(std::nullopt);
  seek(content_.frameCount());
}

// One tick of the transport timer: frees what playback replaced and no longer holds; when the
// output device went away playback stops where its audio stopped, as stop(true) there; at the
// end of the range playback stops and the playhead returns to where it started; otherwise
// the playhead follows the audible position, the view pages along and the meters update.
void EditorModel::transportTick() {
  transport_.player().releaseRetired();
  if (transport_.player().outputLost()) {
    // The device went away: stop where its audio stopped.
    transport_.setPlayhead(transport_.player().audiblePosition());
    stop(true);
    return;
  }
  if (transport_.player().isFinished()) {
    stop(false);
    transport_.setPlayhead(transport_.playOrigin());
    return;
  }
  transport_.setPlayhead(transport_.player().audiblePosition());
  const auto p = static_cast<double>(transport_.playhead());
  const double visibleFrames = viewport_.viewWidth() * viewport_.framesPerPoint();
  // A loop that the view shows whole keeps the playhead in view: the view stays still.
  const FrameRange range = playRange();
  const bool loopInView = transport_.isLooping() && viewport_.scrollFrame() <= static_cast<double>(range.lowerBound) &&
                          static_cast<double>(range.upperBound) <= viewport_.scrollFrame() + visibleFrames;
  if (!loopInView && (viewport_.scrollFrame() + visibleFrames * 0.95 < p || viewport_.scrollFrame() > p)) {
    viewport_.setScrollFrame(p - visibleFrames * 0.05);
    viewport_.clampScroll();
  }
  transport_.updateMeters(content_, envelopes_.master, Decibels::fromLinear(previewGain()));
}

// The loudness preview's linear gain: the plan's gain with the preview on, else 1.
float EditorModel::previewGain() const {
  if (!loudnessSettings_.previewLoudness()) return 1;
  const auto plan = loudnessPlan();
  return plan ? static_cast<float>(Decibels::toLinear(plan->gainDB)) : 1.0f;
}
