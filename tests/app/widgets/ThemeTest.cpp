#include <gtest/gtest.h>

#include <QApplication>

#include <vector>

#include "widgets/Theme.h"
#include "widgets/ViewStyle.h"

TEST(Theme, ChoosesTheColourOfThePalettesAppearance) {
  QPalette light;
  light.setColor(QPalette::Window, QColor(236, 236, 236));
  QPalette dark;
  dark.setColor(QPalette::Window, QColor(40, 40, 40));
  EXPECT_EQ(Theme::waveform.resolved(light), QColor(33, 103, 216));
  EXPECT_EQ(Theme::waveform.resolved(dark), QColor(79, 179, 255));
  EXPECT_NEAR(Theme::selection.resolved(dark).alphaF(), 0.22, 1e-4);
  EXPECT_EQ(Theme::playhead.light, Theme::clip.light);
}

TEST(Theme, RulerSteps) {
  struct Case {
    double secondsPerPoint, spacing;
    RulerSteps steps;
  };
  for (const Case& c : {Case{0.001, 90, {0.1, 0.02}}, Case{1, 90, {120, 20}}, Case{0, 50, {0.0001, 0.00002}},
                        Case{2.5, 3600, {7200, 1200}}, Case{0.5, 60, {30, 10}}, Case{1, 60, {60, 10}},
                        Case{0.01, 100, {1, 0.2}}, Case{0.02, 100, {2, 0.5}}})
    EXPECT_EQ(rulerSteps(c.secondsPerPoint, c.spacing), c.steps) << c.secondsPerPoint << " " << c.spacing;
}

namespace {

// A dark palette as a desktop gives it: disabled text derived from the button colour the way
// Qt's KDE theme derives it (the button colour made twice as light).
QPalette desktopDark() {
  QPalette palette;
  const QColor text(252, 252, 252), button(49, 54, 59);
  palette.setColor(QPalette::Window, QColor(42, 46, 50));
  palette.setColor(QPalette::WindowText, text);
  palette.setColor(QPalette::Base, QColor(27, 30, 32));
  palette.setColor(QPalette::Text, text);
  palette.setColor(QPalette::Button, button);
  palette.setColor(QPalette::ButtonText, text);
  for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
    palette.setColor(QPalette::Disabled, role, button.darker(50));
  return palette;
}

// The toolkit's light palette, and a plain light one.
std::vector<QPalette> lightPalettes() {
  QPalette plain;
  plain.setColor(QPalette::Window, QColor(236, 236, 236));
  plain.setColor(QPalette::WindowText, Qt::black);
  return {QApplication::palette(), plain};
}

} // namespace

TEST(Theme, ContrastFollowsWCAGAndReadableRaisesOnlyWhatIsTooFaint) {
  EXPECT_NEAR(Theme::contrast(Qt::black, Qt::white), 21, 1e-9);
  EXPECT_NEAR(Theme::contrast(Qt::white, Qt::white), 1, 1e-9);
  EXPECT_NEAR(Theme::contrast(QColor(118, 118, 118), Qt::white), 4.54, 0.01);
  QColor half(Qt::black);
  half.setAlphaF(0.5);
  EXPECT_NEAR(Theme::contrast(half, Qt::white), Theme::contrast(QColor(127, 127, 127), Qt::white), 0.05);

  // Readable already: unchanged. Too faint: just enough alpha. Never enough: opaque.
  QColor strong(Qt::black);
  strong.setAlphaF(0.85f);
  EXPECT_EQ(Theme::readable(strong, Qt::white), strong);
  const QColor raised = Theme::readable(half, QColor(236, 236, 236));
  EXPECT_GT(raised.alphaF(), 0.5);
  EXPECT_GE(Theme::contrast(raised, QColor(236, 236, 236)), Theme::minimumTextContrast);
  QColor lower = raised;
  lower.setAlphaF(raised.alphaF() - 0.02f);
  EXPECT_LT(Theme::contrast(lower, QColor(236, 236, 236)), Theme::minimumTextContrast);
  EXPECT_EQ(Theme::readable(QColor(200, 200, 200, 40), Qt::white).alpha(), 255);
}

TEST(Theme, EveryTextColourReadsAgainstItsBackgroundInBothPalettes) {
  std::vector<QPalette> palettes = lightPalettes();
  palettes.push_back(desktopDark());
  for (const QPalette& given : palettes) {
    const QPalette palette = Theme::withReadableDisabledText(given);
    const bool dark = Theme::isDark(palette);
    for (const Theme::TextColor& color : Theme::textColors(palette))
      EXPECT_GE(Theme::contrast(color.text, color.background), color.minimum) << color.name << (dark ? " dark" : " light");
    // The secondary text of labels and sliders (the time-pitch sheet's Tempo, Pitch and Fine).
    EXPECT_GE(Theme::contrast(ViewStyle::secondary(palette), palette.color(QPalette::Window)), Theme::minimumTextContrast)
        << (dark ? "dark" : "light");
  }
}

TEST(Theme, DisabledTextIsRaisedToReadableAndStaysDimmerThanEnabledText) {
  const QPalette given = desktopDark();
  const auto disabledContrast = [](const QPalette& palette) {
    return Theme::contrast(palette.color(QPalette::Disabled, QPalette::ButtonText),
                           palette.color(QPalette::Disabled, QPalette::Button));
  };
  EXPECT_LT(disabledContrast(given), Theme::minimumDisabledContrast);  // greyed "Entire File" as desktops draw it
  const QPalette readable = Theme::withReadableDisabledText(given);
  EXPECT_GE(disabledContrast(readable), Theme::minimumDisabledContrast);
  EXPECT_LT(disabledContrast(readable), Theme::minimumDisabledContrast + 0.2);  // still plainly disabled
  EXPECT_EQ(readable.color(QPalette::Active, QPalette::ButtonText), given.color(QPalette::Active, QPalette::ButtonText));
  EXPECT_EQ(Theme::withReadableDisabledText(readable), readable);
}

TEST(Theme, TheApplicationPaletteKeepsItsDisabledTextReadable) {
  const QPalette before = QApplication::palette();
  Theme::keepDisabledTextReadable();
  QApplication::setPalette(desktopDark());
  const QPalette now = QApplication::palette();
  QApplication::setPalette(before);
  EXPECT_GE(Theme::contrast(now.color(QPalette::Disabled, QPalette::ButtonText),
                            now.color(QPalette::Disabled, QPalette::Button)),
            Theme::minimumDisabledContrast);
  EXPECT_EQ(now.color(QPalette::Active, QPalette::Window), QColor(42, 46, 50));
}
