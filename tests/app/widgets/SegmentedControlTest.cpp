// The segmented control: the chosen segment stands apart from the others as clearly in the dark
// appearance as in the light one, and follows the choice and a change of appearance.
#include <gtest/gtest.h>

#include <QAbstractButton>

#include <cmath>

#include "effects/EditorTestSupport.h"
#include "widgets/SegmentedControl.h"
#include "widgets/Theme.h"

namespace {

// CIE lightness ([0, 100]) of a pixel's grey level.
double lightness(QColor color) {
  const auto linear = [](double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
  const double y =
      0.2126 * linear(color.redF()) + 0.7152 * linear(color.greenF()) + 0.0722 * linear(color.blueF());
  return y > 216.0 / 24389 ? 116 * std::cbrt(y) - 16 : y * 24389.0 / 27;
}

// The lightness of each segment's fill, a little in from its left end, away from its title.
std::vector<double> fills(SegmentedControl& control) {
  const QImage image = control.grab().toImage();
  std::vector<double> result;
  for (int i = 0; control.segment(i); ++i) {
    const QRect area = control.segment(i)->geometry();
    result.push_back(lightness(image.pixelColor(area.left() + area.width() / 8, area.center().y())));
  }
  return result;
}

} // namespace

TEST(SegmentedControl, TheChosenSegmentStandsApartInBothAppearances) {
  SegmentedControl control(QStringLiteral("Scale"), QStringList{QStringLiteral("Linear"), QStringLiteral("Log")});
  control.resize(240, control.sizeHint().height());
  control.setSelectedIndex(1);

  control.setPalette(EditorTestSupport::palette(false));
  const std::vector<double> light = fills(control);
  const double lightContrast = light[0] - light[1];  // the style fills the chosen one darker
  EXPECT_GT(lightContrast, 3);
  EditorTestSupport::savePicture(control, QStringLiteral("segmented-control-light"));

  control.setPalette(EditorTestSupport::palette(true));
  std::vector<double> dark = fills(control);
  EXPECT_GE(dark[1] - dark[0], lightContrast) << "chosen " << dark[1] << ", other " << dark[0];
  EditorTestSupport::savePicture(control, QStringLiteral("segmented-control-dark"));

  // The fill follows the choice, and goes with the dark appearance.
  control.setSelectedIndex(0);
  dark = fills(control);
  EXPECT_GE(dark[0] - dark[1], lightContrast);
  control.setPalette(EditorTestSupport::palette(false));
  EXPECT_EQ(fills(control), (std::vector<double>{light[1], light[0]}));
}

TEST(SegmentedControl, ADisabledChosenSegmentKeepsReadableTextInTheDark) {
  // "Entire File" chosen and greyed while no selection can be measured: its title on the chosen
  // segment's lighter fill.
  SegmentedControl control(QStringLiteral("Scope"), {QStringLiteral("Entire File"), QStringLiteral("Selection")});
  control.resize(240, 24);
  control.setSelectedIndex(0);
  QPalette dark = EditorTestSupport::palette(true);
  dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(98, 108, 118));  // as desktops derive it
  control.setPalette(Theme::withReadableDisabledText(dark));  // as the application keeps its palette
  control.setEnabled(false);
  for (int i = 0; i < 2; ++i) {
    const QPalette colors = control.segment(i)->palette();
    EXPECT_GE(Theme::contrast(colors.color(QPalette::Disabled, QPalette::ButtonText),
                              colors.color(QPalette::Disabled, QPalette::Button)),
              Theme::minimumDisabledContrast)
        << i;
  }
  EditorTestSupport::savePicture(control, QStringLiteral("segmented-control-dark-disabled"));
}
