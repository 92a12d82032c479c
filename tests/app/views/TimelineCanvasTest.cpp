#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "ViewTestSupport.h"
#include "views/TimelineCanvas.h"

using namespace ViewTestSupport;

class TimelineCanvasTest : public AppTest {};

TEST_F(TimelineCanvasTest, FilledLinesAreTheStrokedOnes) {
  EditorModel model(constant(4800, 0, 2), std::nullopt);
  // Vertical lines through the middle of columns of points, full height and short (the ruler's
  // ticks), one at the left edge; horizontal ones through the middle of rows.
  const std::vector<QLineF> lines{{100.5, 26, 100.5, 300}, {0.5, 26, 0.5, 300}, {37.5, 17, 37.5, 25},
                                  {250.5, 22, 250.5, 25},  {0, 80.5, 400, 80.5}, {12, 281.5, 397, 281.5}};
  const QColor colors[] = {QColor(26, 26, 26), QColor::fromRgbF(0.1f, 0.1f, 0.1f, 0.85f),
                           QColor::fromRgbF(0.13f, 0.4f, 0.85f, 0.35f), QColor::fromRgbF(0.9f, 0.3f, 0.1f, 0.12f)};
  for (const QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied})
    for (const double ratio : {1.0, 1.25, 1.5, 2.0})
      for (const QColor& color : colors) {
        const auto fresh = [&] {
          QImage image((QSizeF(400, 300) * ratio).toSize(), format);
          image.setDevicePixelRatio(ratio);
          image.fill(QColor(243, 244, 247));
          return image;
        };
        QImage filled = fresh();
        QImage stroked = fresh();
        {
          TimelineCanvas canvas(filled, model, palette(false));
          canvas.painter.setRenderHint(QPainter::Antialiasing);
          canvas.fillLines(lines, color);
        }
        {
          QPainter painter(&stroked);
          painter.setRenderHint(QPainter::Antialiasing);
          painter.setPen(TimelineCanvas::linePen(color));
          painter.drawLines(lines.data(), static_cast<int>(lines.size()));
        }
        EXPECT_EQ(filled, stroked) << "format " << format << ", ratio " << ratio << ", alpha " << color.alphaF();
      }
}
