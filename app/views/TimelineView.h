// TimelineView: the waveform timeline of one document: ruler, channel lanes, selection, markers,
// cursor and tempo grid, with the play position line on top. It holds no document state: it
// draws the EditorModel into a backing image at the device-pixel ratio, inside an
// ObservationScope, and redraws that image only when a model property the last drawing read
// changes, or the size, device-pixel ratio or palette changes. The play position is painted over
// the image from a display-rate timer and never redraws it. Its first layout fits the document
// into the view; later ones keep the zoom. GUI thread.
#pragma once

#include <QImage>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>

#include "views/TimelineGeometry.h"

class EditorModel;
class ObservationTracker;

class TimelineView final : public QWidget {
  Q_OBJECT
public:
  explicit TimelineView(EditorModel* model, QWidget* parent = nullptr);

  EditorModel* model() const { return model_; }
  // The geometry of the current size over the model.
  TimelineGeometry timelineGeometry() const;

  // Redraws the backing image at the next paint, for state of the view's own that drawing shows.
  void invalidate();
  // The image of the last drawing and how many drawings there have been.
  const QImage& backingImage() const { return backing_; }
  int drawCount() const { return drawCount_; }

  // Where playback is heard, read at display rate while playing: the playback engine's audible
  // position unless replaced.
  void setAudiblePosition(std::function<int64_t()> position) { audiblePosition_ = std::move(position); }
  // One display refresh: moves the play position line (called by the display timer).
  void advancePlayhead();
  // The line's frame in points; none while hidden.
  std::optional<QRectF> playheadFrame() const { return playheadFrame_; }

protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

private:
  void redrawBacking(QSize pixels, qreal ratio);

  EditorModel* model_;
  ObservationTracker* tracker_;
  QImage backing_;
  bool backingValid_ = false;
  int drawCount_ = 0;
  QTimer displayTimer_;
  QPointer<QWidget> window_;  // the window the view last appeared in
  std::function<int64_t()> audiblePosition_;
  std::optional<QRectF> playheadFrame_;
  QColor playheadColor_;
};
