// Symbol buttons draw the project's black icons in the palette's button text colour.
#include <gtest/gtest.h>

#include <QImage>

#include <set>

#include "EditorTestSupport.h"
#include "effects/SymbolButton.h"

namespace {

// The colours of the icon's opaque pixels.
std::set<QRgb> inkOf(const SymbolButton& button) {
  const QImage image = button.icon().pixmap(QSize(24, 24)).toImage();
  std::set<QRgb> ink;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixelColor(x, y).alpha() == 255) ink.insert(image.pixelColor(x, y).rgb());
  return ink;
}

} // namespace

TEST(SymbolButton, IconFollowsTheButtonTextColourOfThePalette) {
  SymbolButton button("waveform.badge.magnifyingglass", 16, "Learn");
  const QRgb light = button.palette().color(QPalette::ButtonText).rgb();
  EXPECT_EQ(inkOf(button), std::set<QRgb>{light});
  button.setPalette(EditorTestSupport::palette(true));
  const QRgb dark = button.palette().color(QPalette::ButtonText).rgb();
  ASSERT_NE(dark, light);
  EXPECT_EQ(inkOf(button), std::set<QRgb>{dark});
  EXPECT_EQ(button.text(), "Learn");
}
