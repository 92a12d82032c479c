// EditorModel: cursor, selection and active channels, zero-crossing snapping, zoom and scroll.
#include "editor/EditorModel.h"

#include <algorithm>
#include <cmath>

#include "base/Numbers.h"
#include "core/Processing.h"
#include "platform/Platform.h"

using quar::FrameRange;

double EditorModel::maxFramesPerPoint() const {
  const double frames = static_cast<double>(content_.frameCount());
  return std::max(std::max(frames, 1.0) / std::max(viewWidth_, 100.0) * 1.02, 0.0625);
}

int64_t EditorModel::currentPosition() const {
  if (isPlaying_) return playhead_;
  return selection_ ? selection_->lowerBound : cursor_;
}

void EditorModel::seek(int64_t frame) {
  Platform::assertGuiThread();
  setCursor(std::clamp<int64_t>(frame, 0, content_.frameCount()));
  if (isPlaying_) {
    player_.seek(cursor_);
    setPlayhead(cursor_);
  }
  ensureVisible(cursor_);
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

void EditorModel::setSelection(std::optional<FrameRange> range, std::optional<std::set<int>> channels) {
  Platform::assertGuiThread();
  if (range)
    setSelection(range->clamped({0, content_.frameCount()}));
  else
    setSelection(std::nullopt);
  if (channels) setActiveChannels(std::move(*channels));
  if (selection_ && cursor_ != selection_->lowerBound) setCursor(selection_->lowerBound);
}

int64_t EditorModel::snapped(int64_t frame) const {
  const int64_t n = content_.frameCount();
  const int64_t f = std::clamp<int64_t>(frame, 0, n);
  if (!snapToZeroCrossings_ || f <= 0 || f >= n) return f;
  // Six points, at least 64 frames; beyond the content's length a wider search finds nothing more.
  const int64_t radius = quar::clampedInt(std::max(framesPerPoint_ * 6, 64.0), 64, std::max<int64_t>(n, 64));
  return quar::nearestZeroCrossing(content_, f, radius);
}

void EditorModel::ensureVisible(int64_t frame) {
  const double x = static_cast<double>(frame);
  const double visible = viewWidth_ * framesPerPoint_;
  if (scrollFrame_ <= x && x <= scrollFrame_ + visible) return;
  setScrollFrame(x - visible * 0.1);
  clampScroll();
}

void EditorModel::zoom(double factor, std::optional<double> anchorFrame) {
  Platform::assertGuiThread();
  if (!(std::isfinite(factor) && factor > 0)) return;
  const double anchor =
      anchorFrame && std::isfinite(*anchorFrame) ? *anchorFrame : static_cast<double>(currentPosition());
  double x = (anchor - scrollFrame_) / framesPerPoint_;
  setFramesPerPoint(std::clamp(factor * framesPerPoint_, minFramesPerPoint, maxFramesPerPoint()));
  if (!(x >= 0 && x <= viewWidth_)) x = viewWidth_ * 0.5;  // off screen (or no position at all)
  setScrollFrame(anchor - x * framesPerPoint_);
  clampScroll();
}

void EditorModel::zoomToSelection() {
  Platform::assertGuiThread();
  if (!selection_) return;
  const double lo = static_cast<double>(selection_->lowerBound);
  const double length = static_cast<double>(selection_->count());
  setFramesPerPoint(std::clamp(length / std::max(viewWidth_, 100.0) * 1.05, minFramesPerPoint, maxFramesPerPoint()));
  setScrollFrame(lo - (viewWidth_ * framesPerPoint_ - length) * 0.5);
  clampScroll();
}

void EditorModel::scroll(double byPoints) {
  Platform::assertGuiThread();
  if (!std::isfinite(byPoints)) return;
  setScrollFrame(scrollFrame_ + byPoints * framesPerPoint_);
  clampScroll();
}
