// The shared parameter slider: travel over linear and logarithmic ranges, typed entries, the
// reset on the label and how the field's text follows the value.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QSlider>
#include <QVBoxLayout>
#include <QTest>

#include <cmath>
#include <limits>

#include "effects/EditorTestSupport.h"
#include "widgets/ParamSlider.h"

using namespace EditorTestSupport;
using Scale = ParamSlider::Scale;

namespace {

struct Fixture {
  Stored<double> stored;
  ParamSlider slider;

  Fixture(double value, ParamSlider::Range range, Scale scale = Scale::linear, std::optional<double> reset = 0.0,
          const char* format = "%.1f")
      : stored{value}, slider(QStringLiteral("Gain"), stored.binding(), range, QStringLiteral("dB"),
                              QString::fromUtf8(format), scale, reset) {}
};

} // namespace

TEST(ParamSlider, PositionAndValueMapTheRangeLinearlyOrLogarithmically) {
  struct Case {
    double value;
    ParamSlider::Range range;
    Scale scale;
    double position;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Case cases[] = {
      {-12, {-24, 24}, Scale::linear, 0.25},
      {-60, {-24, 24}, Scale::linear, 0},  // below the range: the left end
      {99, {-24, 24}, Scale::linear, 1},   // above: the right end
      {nan, {-24, 24}, Scale::linear, 0},
      {200, {20, 20000}, Scale::log, 1.0 / 3},
      {20000, {20, 20000}, Scale::log, 1},
      {5, {20, 20000}, Scale::log, 0},
      {2, {1, 32}, Scale::log, 0.2},
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(ParamSlider::position(c.value, c.range, c.scale), c.position, 1e-12) << c.value;
    if (c.position > 0 && c.position < 1) {
      EXPECT_NEAR(ParamSlider::valueAt(c.position, c.range, c.scale), c.value, 1e-9) << c.value;
    }
  }
  EXPECT_NEAR(ParamSlider::valueAt(0.5, {20, 20000}, Scale::log), 632.4555320336759, 1e-9);
}

TEST(ParamSlider, SliderTravelWritesTheValueItStandsFor) {
  Fixture f(1000, {20, 20000}, Scale::log, std::nullopt, "%.0f");
  EXPECT_EQ(track(f.slider)->value(), 5663);  // ln 50 / ln 1000 of the travel
  EXPECT_EQ(f.stored.writes, 0);
  slide(f.slider, ParamSlider::sliderSteps / 2 - 1);
  slide(f.slider, ParamSlider::sliderSteps / 2);
  EXPECT_EQ(f.stored.writes, 2);
  EXPECT_NEAR(f.stored.value, 632.4555, 1e-3);
  EXPECT_EQ(text(f.slider), "632");
  slide(f.slider, ParamSlider::sliderSteps / 3);
  EXPECT_NEAR(f.stored.value, 200, 0.1);
}

TEST(ParamSlider, ParsesOnlyAWholeDecimalNumber) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* text;
    std::optional<double> value;
  };
  const Case cases[] = {
      {"1,5", 1.5},  {"-3.25", -3.25}, {"+2", 2},        {"1e3", 1000}, {".5", 0.5},
      {"inf", inf},  {"-Infinity", -inf}, {"1e999", inf}, {"-1e999", -inf},
      {"abc", {}},   {" 2", {}},       {"2 ", {}},       {"2 dB", {}},  {"", {}},
      {"nan", {}},   {"-NaN", {}},     {"1,5,5", {}},    {"+-2", {}},   {"++2", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(ParamSlider::parse(QString::fromUtf8(c.text)), c.value) << c.text;
}

// The value as the field shows it, for callers that hold what is on screen.
TEST(ParamSlider, ShownValueIsTheFormattedValueReadBack) {
  struct Case {
    const char* format;
    double value;
    double shown;
  };
  const Case cases[] = {
      {"%.0f", 4.53, 5}, {"%.1f", 154.6278, 154.6}, {"%.2f", -0.1251, -0.13}, {"%.0f", 1e300, 1e300},
      {"%.0f", -0.3, 0}, {"%.1f", -0.04, 0},
  };
  for (const Case& c : cases) {
    const double shown = ParamSlider::shownValue(QString::fromUtf8(c.format), c.value);
    EXPECT_EQ(shown, c.shown) << c.format << " " << c.value;
    EXPECT_FALSE(std::signbit(shown) && shown == 0) << "a negative zero shows as -0";
  }
}

// The value is written only by a committed text: "," is a decimal point, values beyond the
// range are clamped (infinities included), and a text that is not a number (not-a-number
// included) leaves the value alone; the field then shows the formatted value.
TEST(ParamSlider, ReturnCommitsTheTypedValueClampedIntoTheRange) {
  struct Case {
    const char* typed;
    double value;
    const char* shown;
  };
  const Case cases[] = {
      {"1,5", 1.5, "1.5"},   {"-7.5", -7.5, "-7.5"}, {"99", 24, "24.0"},     {"-99", -24, "-24.0"},
      {"inf", 24, "24.0"},   {"-inf", -24, "-24.0"},   {"abc", 3, "3.0"},      {" 2", 3, "3.0"},
      {"2 dB", 3, "3.0"},    {"nan", 3, "3.0"},        {"", 3, "3.0"},
  };
  for (const Case& c : cases) {
    Fixture f(3, {-24, 24});
    showActive(f.slider);
    type(f.slider, QString::fromUtf8(c.typed));
    EXPECT_EQ(f.stored.value, c.value) << c.typed;
    EXPECT_EQ(text(f.slider), c.shown) << c.typed;
  }
}

TEST(ParamSlider, LeavingTheFieldWithoutReturnDiscardsTheText) {
  QWidget window;  // destroyed after its children below
  Fixture f(3, {-24, 24});
  QLineEdit elsewhere;
  auto* layout = new QVBoxLayout(&window);
  layout->addWidget(&f.slider);
  layout->addWidget(&elsewhere);
  showActive(window);
  type(f.slider, "12", false);
  EXPECT_EQ(text(f.slider), "12");
  elsewhere.setFocus();
  EXPECT_EQ(f.stored.writes, 0);
  EXPECT_EQ(text(f.slider), "3.0");
}

// While the field has focus an outside change moves the slider but keeps the typed text;
// without focus the text follows the value.
TEST(ParamSlider, OutsideChangesLeaveTextBeingTypedAlone) {
  Fixture f(3, {-24, 24});
  showActive(f.slider);
  type(f.slider, "1", false);
  f.stored.value = 24;
  f.slider.refresh();
  EXPECT_EQ(track(f.slider)->value(), ParamSlider::sliderSteps);
  EXPECT_EQ(text(f.slider), "1");
  field(f.slider)->clearFocus();
  f.stored.value = -30;  // below the range: shown as it is, the slider at its left end
  f.slider.refresh();
  EXPECT_EQ(text(f.slider), "-30.0");
  EXPECT_EQ(track(f.slider)->value(), 0);
  EXPECT_EQ(f.stored.writes, 0);
}

TEST(ParamSlider, DoubleClickOnTheLabelResetsToTheDefaultWhenThereIsOne) {
  Fixture withDefault(7, {-24, 24}, Scale::linear, -6.0);
  doubleClickLabel(withDefault.slider);
  EXPECT_EQ(withDefault.stored.value, -6);
  EXPECT_EQ(text(withDefault.slider), "-6.0");
  EXPECT_EQ(withDefault.slider.findChild<QWidget*>("label")->toolTip(), "Double-click to reset");

  Fixture without(7, {-24, 24}, Scale::linear, std::nullopt);
  doubleClickLabel(without.slider);
  EXPECT_EQ(without.stored.writes, 0);
  EXPECT_TRUE(without.slider.findChild<QWidget*>("label")->toolTip().isEmpty());
}

TEST(ParamSlider, ColumnsKeepTheirWidthsWithOrWithoutAUnit) {
  Stored<double> a{1}, b{1};
  QWidget window;
  auto* withUnit = new ParamSlider("Gain", a.binding(), {0, 2}, "dB", "%.1f", Scale::linear, {}, &window);
  auto* withoutUnit = new ParamSlider("Q", b.binding(), {0, 2}, "", "%.1f", Scale::linear, {}, &window);
  withoutUnit->move(0, 40);
  withUnit->resize(300, 30);
  withoutUnit->resize(300, 30);
  window.show();
  QCoreApplication::processEvents();
  EXPECT_EQ(field(*withUnit)->x(), field(*withoutUnit)->x());
  EXPECT_EQ(field(*withUnit)->width(), ParamSlider::valueWidth);
  EXPECT_EQ(withUnit->findChild<QWidget*>("label")->width(), ParamSlider::labelWidth);
  EXPECT_EQ(withoutUnit->findChild<QWidget*>("unit")->width(), ParamSlider::unitWidth);
}
