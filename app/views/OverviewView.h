// OverviewView: the strip above the timeline that always shows the whole document: a min/max
// waveform of all channels folded together, the selection, a tick per marker, a frame around the
// part the timeline shows, and the play position while playing. Pressing and dragging scrolls
// the timeline (the model's scrollFrame), and so does the wheel. The waveform is rendered once per content version,
// pixel size and appearance into a cached image; everything else is painted on every draw,
// which reruns whenever a model property the last draw read changes. GUI thread.
#pragma once

#include <QImage>
#include <QWidget>

#include <cstdint>
#include <optional>

#include "base/FrameRange.h"
#include "core/AudioContent.h"

class EditorModel;
class ObservationTracker;

class OverviewView final : public QWidget {
  Q_OBJECT
public:
  explicit OverviewView(EditorModel* model, QWidget* parent = nullptr);

  // The cached waveform image in device pixels; null before the first draw and for an empty
  // document.
  const QImage& waveformImage() const { return cachedImage_; }

  // The waveform image's size in device pixels for a strip of `points` at `ratio` (truncated).
  static QSize pixelSize(QSizeF points, qreal ratio);
  // The frames of pixel column x of a waveform image `columns` wide over `frames` frames: at
  // least one frame, never past the end.
  static quar::FrameRange column(int64_t x, int64_t columns, int64_t frames);
  // The waveform image of `pixels` size: one bar per column from the lowest to the highest
  // sample of all channels, in `color` on a transparent ground.
  static QImage renderWaveform(const quar::AudioContent& content, QSize pixels, const QColor& color);

protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

private:
  struct CacheKey {
    int64_t version = 0;
    int width = 0;
    int height = 0;
    bool dark = false;
    bool operator==(const CacheKey&) const = default;
  };

  void drawContents(QPainter& painter);
  // The frame under x: the strip's width spans the whole document.
  double frameAt(double x) const;
  void scrollTo(double x);

  EditorModel* model_;
  ObservationTracker* tracker_;
  QImage cachedImage_;
  std::optional<CacheKey> cachedKey_;
  // Frames from the visible window's first frame to the pressed frame, while a press lasts.
  std::optional<double> dragOffset_;
};
