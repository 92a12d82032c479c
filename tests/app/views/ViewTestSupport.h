// Helpers of the view tests: fixed light and dark palettes, content from sample arrays, drawing a
// model's timeline into an image at a device-pixel ratio, reading pixels by point, and saving
// pictures for a human to look at (build folder, tests/app/pictures).
#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPalette>

#include <vector>

#include "core/AudioContent.h"
#include "editor/EditorModel.h"
#include "views/TimelineCanvas.h"

namespace ViewTestSupport {

inline QPalette palette(bool dark) {
  QPalette palette;
  palette.setColor(QPalette::Window, dark ? QColor(40, 40, 40) : QColor(236, 236, 236));
  palette.setColor(QPalette::WindowText, dark ? QColor(255, 255, 255) : QColor(0, 0, 0));
  return palette;
}

// `frames` frames of `value` in every one of `channels` channels at 48 kHz.
inline quar::AudioContent constant(int64_t frames, float value, int channels = 1) {
  const std::vector<float> samples(static_cast<size_t>(frames), value);
  return quar::AudioContent(std::vector<std::vector<float>>(static_cast<size_t>(channels), samples), 48000);
}

// A sine of `period` frames and amplitude `amplitude` in every channel.
inline quar::AudioContent sine(int64_t frames, double period, float amplitude, int channels = 2) {
  std::vector<float> samples(static_cast<size_t>(frames));
  for (size_t i = 0; i < samples.size(); ++i)
    samples[i] = amplitude * static_cast<float>(std::sin(2 * 3.14159265358979 * static_cast<double>(i) / period));
  return quar::AudioContent(std::vector<std::vector<float>>(static_cast<size_t>(channels), samples), 48000);
}

// Something like music for pictures: decaying notes of changing pitch over a little noise, the
// second channel a softer echo of the first, and one note loud enough to clip.
inline quar::AudioContent music(int64_t frames) {
  std::vector<std::vector<float>> channels(2, std::vector<float>(static_cast<size_t>(frames)));
  uint32_t seed = 7;
  for (int64_t i = 0; i < frames; ++i) {
    const int64_t note = i / 24000;
    const double t = static_cast<double>(i % 24000) / 48000;
    const double pitch = 110 * std::pow(2, static_cast<double>((note * 5) % 12) / 12);
    const double level = note % 7 == 3 ? 1.3 : 0.35 + 0.08 * static_cast<double>(note % 4);
    seed = seed * 1664525u + 1013904223u;
    const double noise = (static_cast<double>(seed >> 8) / 16777216.0 - 0.5) * 0.04;
    const double phase = 2 * 3.14159265358979 * pitch * static_cast<double>(i) / 48000;
    const double tone = level * std::exp(-5 * t) * std::sin(phase);
    channels[0][static_cast<size_t>(i)] = static_cast<float>(tone + noise);
    channels[1][static_cast<size_t>(i)] = static_cast<float>(0.6 * tone - noise);
  }
  return quar::AudioContent(channels, 48000);
}

// The model's timeline drawn at `ratio` device pixels per point.
inline QImage drawTimeline(const EditorModel& model, QSize size, double ratio, bool dark = false) {
  QImage image((QSizeF(size) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(ratio);
  TimelineCanvas(image, model, palette(dark)).drawEverything();
  return image;
}

// The colour of the device pixel under a point.
inline QColor pixel(const QImage& image, double x, double y) {
  const double ratio = image.devicePixelRatio();
  return image.pixelColor(static_cast<int>(x * ratio), static_cast<int>(y * ratio));
}

// The colour `color` takes composited over the opaque `ground`, as the rasteriser does it.
inline QColor over(const QColor& color, const QColor& ground) {
  QImage image(1, 1, QImage::Format_ARGB32_Premultiplied);
  image.fill(ground);
  QPainter painter(&image);
  painter.fillRect(0, 0, 1, 1, color);
  painter.end();
  return image.pixelColor(0, 0);
}

// How many device pixels of `rect` (in points) have exactly `color`.
inline int count(const QImage& image, const QRectF& rect, const QColor& color) {
  const double ratio = image.devicePixelRatio();
  const QRect pixels(QPointF(rect.topLeft() * ratio).toPoint(), QPointF(rect.bottomRight() * ratio).toPoint());
  int n = 0;
  for (int y = std::max(pixels.top(), 0); y < std::min(pixels.bottom(), image.height()); ++y)
    for (int x = std::max(pixels.left(), 0); x < std::min(pixels.right(), image.width()); ++x)
      if (image.pixelColor(x, y).rgb() == color.rgb()) ++n;
  return n;
}

inline void savePicture(const QImage& image, const QString& name) {
  const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/pictures");
  QDir().mkpath(folder);
  image.save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}

} // namespace ViewTestSupport
