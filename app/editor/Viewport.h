// Viewport: the part of a document the timeline shows: zoom in frames per point, the first
// visible frame, the view's width in points and the amplitude zoom (1…64). Knows the content's
// length (frames) to keep zoom and scroll within it. A QObject on the GUI thread with tracked
// getters, like EditorModel's.
#pragma once

#include <QObject>

#include <cstdint>

#include "platform/ObservationScope.h"

class Viewport final : public QObject {
  Q_OBJECT
public:
  enum class Property { framesPerPoint, scrollFrame, viewWidth, amplitudeZoom };
  Q_ENUM(Property)

  // The lower bound of framesPerPoint.
  static constexpr double minFramesPerPoint = 0.03125;
  static constexpr double minAmplitudeZoom = 1;
  static constexpr double maxAmplitudeZoom = 64;

  explicit Viewport(QObject* parent = nullptr) : QObject(parent) {}

  double framesPerPoint() const { return track(Property::framesPerPoint), framesPerPoint_; }
  void setFramesPerPoint(double value);
  // First visible frame (fractional).
  double scrollFrame() const { return track(Property::scrollFrame), scrollFrame_; }
  void setScrollFrame(double frame);
  // Timeline width in points.
  double viewWidth() const { return track(Property::viewWidth), viewWidth_; }
  void setViewWidth(double width);
  // Vertical waveform zoom, held within minAmplitudeZoom…maxAmplitudeZoom.
  double amplitudeZoom() const { return track(Property::amplitudeZoom), amplitudeZoom_; }
  void setAmplitudeZoom(double zoom);

  // Whether width and scroll have kept their initial values since construction: the first view
  // to lay out such a viewport fits the content into it.
  bool isPristine() const { return pristine_; }

  // Frames of the content shown; the owner keeps it current. Untracked.
  int64_t contentLength() const { return contentLength_; }
  void setContentLength(int64_t frames) { contentLength_ = frames; }

  // The largest framesPerPoint: the whole content with 2 % to spare, at least 0.0625.
  double maxFramesPerPoint() const;
  // Brings framesPerPoint and scrollFrame into their bounds for the content and view width.
  void clampScroll();
  // Fits the whole content into the view, scrolled to the start.
  void zoomToFit();
  // Scrolls so that the frame is visible, 10 % of the width from the left edge.
  void ensureVisible(int64_t frame);
  // Multiplies framesPerPoint by `factor` (finite, above 0) about `anchor`, which stays under
  // the same point or, when off screen, comes to the middle.
  void zoom(double factor, double anchor);
  // Fits frames [lo, lo + length) into the view with a 5 % margin, centred.
  void zoomToRange(double lo, double length);
  void scroll(double byPoints);

Q_SIGNALS:
  void changed(Viewport::Property property);

private:
  void track(Property property) const { ObservationScope::record(this, property); }

  double framesPerPoint_ = 256;
  double scrollFrame_ = 0;
  double viewWidth_ = 800;
  double amplitudeZoom_ = 1;
  bool pristine_ = true;
  int64_t contentLength_ = 0;
};
