#include "editor/Viewport.h"

#include <algorithm>
#include <cmath>

#include "platform/Observable.h"

void Viewport::setFramesPerPoint(double value) {
  assignObserved(this, framesPerPoint_, value, Property::framesPerPoint);
}

void Viewport::setScrollFrame(double frame) {
  if (assignObserved(this, scrollFrame_, frame, Property::scrollFrame)) pristine_ = false;
}

void Viewport::setViewWidth(double width) {
  if (assignObserved(this, viewWidth_, width, Property::viewWidth)) pristine_ = false;
}

void Viewport::setAmplitudeZoom(double zoom) {
  assignObserved(this, amplitudeZoom_, std::clamp(zoom, minAmplitudeZoom, maxAmplitudeZoom), Property::amplitudeZoom);
}

double Viewport::maxFramesPerPoint() const {
  const double frames = static_cast<double>(contentLength_);
  return std::max(std::max(frames, 1.0) / std::max(viewWidth_, 100.0) * 1.02, 0.0625);
}

void Viewport::clampScroll() {
  const double frames = static_cast<double>(contentLength_);
  setFramesPerPoint(std::min(maxFramesPerPoint(), std::max(framesPerPoint_, minFramesPerPoint)));
  setScrollFrame(std::min(std::max(frames - viewWidth_ * framesPerPoint_, 0.0), std::max(scrollFrame_, 0.0)));
}

void Viewport::zoomToFit() {
  setFramesPerPoint(maxFramesPerPoint() / 1.02);
  setScrollFrame(0);
  clampScroll();
}

void Viewport::ensureVisible(int64_t frame) {
  const double x = static_cast<double>(frame);
  const double visible = viewWidth_ * framesPerPoint_;
  if (scrollFrame_ <= x && x <= scrollFrame_ + visible) return;
  setScrollFrame(x - visible * 0.1);
  clampScroll();
}

void Viewport::zoom(double factor, double anchor) {
  if (!(std::isfinite(factor) && factor > 0)) return;
  double x = (anchor - scrollFrame_) / framesPerPoint_;
  setFramesPerPoint(std::clamp(factor * framesPerPoint_, minFramesPerPoint, maxFramesPerPoint()));
  if (!(x >= 0 && x <= viewWidth_)) x = viewWidth_ * 0.5;  // off screen (or no position at all)
  setScrollFrame(anchor - x * framesPerPoint_);
  clampScroll();
}

void Viewport::zoomToRange(double lo, double length) {
  setFramesPerPoint(std::clamp(length / std::max(viewWidth_, 100.0) * 1.05, minFramesPerPoint, maxFramesPerPoint()));
  setScrollFrame(lo - (viewWidth_ * framesPerPoint_ - length) * 0.5);
  clampScroll();
}

void Viewport::scroll(double byPoints) {
  if (!std::isfinite(byPoints)) return;
  setScrollFrame(scrollFrame_ + byPoints * framesPerPoint_);
  clampScroll();
}
