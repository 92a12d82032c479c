// EditorModel: cursor, selection and active channels, zero-crossing snapping and zoom. No undo
// steps; frames and ranges are clamped to the content; zoom stays within the viewport's bounds.
#include "editor/EditorModel.h"

#include <algorithm>
#include <cmath>

#include "base/Numbers.h"
#include "core/Processing.h"
#include "platform/Platform.h"

using quar::FrameRange;

// The default anchor of zoom, markers and bar 1: the playhead while playing, else the
// selection start, else the cursor.
int64_t EditorModel::currentPosition() const {
  if (transport_.isPlaying()) return transport_.playhead();
  return selection_ ? selection_->lowerBound : cursor_;
}

// Moves the cursor (and, while playing, the play position) and keeps it in view.
void EditorModel::seek(int64_t frame) {
  Platform::assertGuiThread();
  setCursor(std::clamp<int64_t>(frame, 0, content_.frameCount()));
  if (transport_.isPlaying()) {
    transport_.player().seek(cursor_);
    transport_.setPlayhead(cursor_);
  }
  viewport_.ensureVisible(cursor_);
}

void EditorModel::selectAll() {
  Platform::assertGuiThread();
  const int64_t n = content_.frameCount();
  if (n == 0) return;
  setSelection(FrameRange(0, n));
  setActiveChannels(allChannels(content_.channelCount()));
}

void EditorModel::selectNone() {
  Platform::assertGuiThread();
  setSelection(std::nullopt);
  setActiveChannels(allChannels(content_.channelCount()));
}

// Sets the clamped selection (none clears it) and, when given, the active channels; the cursor
// goes to the selection's start. The one-argument setSelection is the plain property setter.
void EditorModel::setSelection(std::optional<FrameRange> range, std::optional<std::set<int>> channels) {
  Platform::assertGuiThread();
  if (range)
    setSelection(range->clamped({0, content_.frameCount()}));
  else
    setSelection(std::nullopt);
  if (channels) setActiveChannels(std::move(*channels));
  if (selection_ && cursor_ != selection_->lowerBound) setCursor(selection_->lowerBound);
}

// The frame for a pointer position: clamped to the content, then moved to the nearest zero
// crossing within six points (at least 64 frames) when snapping is on; the ends never move.
int64_t EditorModel::snapped(int64_t frame) const {
  const int64_t n = content_.frameCount();
  const int64_t f = std::clamp<int64_t>(frame, 0, n);
  if (!snapToZeroCrossings_ || f <= 0 || f >= n) return f;
  // Six points, at least 64 frames; beyond the content's length a wider search finds nothing more.
  const int64_t radius = quar::clampedInt(std::max(viewport_.framesPerPoint() * 6, 64.0), 64, std::max<int64_t>(n, 64));
  return quar::nearestZeroCrossing(content_, f, radius);
}

// Multiplies framesPerPoint by `factor` about the anchor frame (default: the playhead while
// playing, else the selection start, else the cursor), which stays under the same point or,
// when off screen, comes to the middle. A factor that is not finite and above 0 does nothing.
void EditorModel::zoom(double factor, std::optional<double> anchorFrame) {
  Platform::assertGuiThread();
  viewport_.zoom(factor, anchorFrame && std::isfinite(*anchorFrame) ? *anchorFrame
                                                                    : static_cast<double>(currentPosition()));
}

// Fits the selection into the view with a 5 % margin, centred.
void EditorModel::zoomToSelection() {
  Platform::assertGuiThread();
  if (!selection_) return;
  viewport_.zoomToRange(static_cast<double>(selection_->lowerBound), static_cast<double>(selection_->count()));
}

void EditorModel::setDownbeatAtCursor() { tempo_.setDownbeat(currentPosition()); }
