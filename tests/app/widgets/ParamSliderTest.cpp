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

// One key press: 1 % of the travel, or the unit's own step (0.1 dB, 1 ms, 1/100 octave on a
// log frequency scale); Page Up and Page Down 10 % of the travel; never less than the shown
// digit, never out of the range.
TEST(ParamSlider, KeyStepsByTheUnitOrAHundredthOfTheTravel) {
  struct Case {
    const char* what;
    double value;
    ParamSlider::Range range;
    Scale scale;
    const char* unit;
    const char* format;
    int direction;
    bool large;
    double expected;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Case cases[] = {
      {"pre-delay", 20, {0, 250}, Scale::linear, "ms", "%.0f", 1, false, 21},
      {"pre-delay page", 20, {0, 250}, Scale::linear, "ms", "%.0f", 1, true, 45},
      {"pre-delay at the top", 250, {0, 250}, Scale::linear, "ms", "%.0f", 1, false, 250},
      {"beyond the range", 300, {0, 250}, Scale::linear, "ms", "%.0f", -1, false, 249},
      {"not a number", nan, {0, 250}, Scale::linear, "ms", "%.0f", 1, false, 1},
      {"threshold", -18, {-60, 0}, Scale::linear, "dB", "%.1f", 1, false, -17.9},
      {"threshold page", -18, {-60, 0}, Scale::linear, "dB", "%.1f", -1, true, -24},
      {"whole dB shown", 18, {0, 48}, Scale::linear, "dB", "%.0f", -1, false, 17},
      {"frequency", 1000, {20, 20000}, Scale::log, "Hz", "%.0f", 1, false, 1000 * std::exp2(0.01)},
      {"frequency down", 1000, {20, 20000}, Scale::log, "Hz", "%.0f", -1, false, 1000 * std::exp2(-0.01)},
      {"frequency page", 1000, {20, 20000}, Scale::log, "Hz", "%.0f", 1, true, 1000 * std::pow(1000, 0.1)},
      {"lowest frequency", 20, {20, 20000}, Scale::log, "Hz", "%.0f", 1, false, 21},
      {"LFO rate", 0.8, {0.05, 10}, Scale::log, "Hz", "%.2f", 1, false, 0.81},
      {"long attack", 100, {0.05, 200}, Scale::log, "ms", "%.2f", 1, false, 101},
      {"short attack", 10, {0.05, 200}, Scale::log, "ms", "%.2f", 1, false, 10 * std::pow(4000, 0.01)},
      {"shortest attack", 0.05, {0.05, 200}, Scale::log, "ms", "%.2f", 1, false, 0.06},
      {"mix", 50, {0, 100}, Scale::linear, "%", "%.0f", 1, false, 51},
      {"mix page", 50, {0, 100}, Scale::linear, "%", "%.0f", -1, true, 40},
      {"tempo", 100, {25, 400}, Scale::log, "%", "%.1f", 1, false, 100 * std::pow(16, 0.01)},
      {"semitones", 0, {-24, 24}, Scale::linear, "st", "%.0f", 1, false, 1},
      {"cents", 0, {-100, 100}, Scale::linear, "ct", "%.0f", -1, false, -2},
      {"Q", 1, {0.1, 18}, Scale::log, "", "%.2f", 1, true, 1 * std::pow(180, 0.1)},
  };
  for (const Case& c : cases)
    EXPECT_NEAR(ParamSlider::keyStep(c.value, c.range, c.scale, QString::fromUtf8(c.unit), QString::fromUtf8(c.format),
                                     c.direction, c.large),
                c.expected, 1e-9)
        << c.what;
}

// The arrows on the slider, and Up and Down in the field, take the small step; Page Up and Page
// Down the large one. In the field a typed number is where the step starts; Left and Right
// move the cursor there.
TEST(ParamSlider, KeysOnTheSliderAndInTheFieldStepTheValue) {
  Stored<double> stored{20};
  ParamSlider slider(QStringLiteral("Pre-delay"), stored.binding(), {0, 250}, QStringLiteral("ms"), QStringLiteral("%.0f"),
                     Scale::linear, 20);
  showActive(slider);
  track(slider)->setFocus(Qt::TabFocusReason);
  for (int i = 0; i < 22; ++i) QTest::keyClick(track(slider), Qt::Key_Right);
  EXPECT_EQ(stored.value, 42);
  QTest::keyClick(track(slider), Qt::Key_PageUp);
  EXPECT_EQ(stored.value, 67);
  QTest::keyClick(track(slider), Qt::Key_Down);
  EXPECT_EQ(stored.value, 66);
  EXPECT_EQ(text(slider), "66");
  EXPECT_EQ(track(slider)->value(), std::lround(66.0 / 250 * ParamSlider::sliderSteps));

  QLineEdit* edit = field(slider);
  edit->setFocus(Qt::TabFocusReason);
  QTest::keyClick(edit, Qt::Key_Up);
  EXPECT_EQ(stored.value, 67);
  EXPECT_EQ(text(slider), "67");
  QTest::keyClick(edit, Qt::Key_PageDown);
  EXPECT_EQ(stored.value, 42);
  EXPECT_EQ(text(slider), "42");
  const int writes = stored.writes;
  QTest::keyClick(edit, Qt::Key_Left);
  EXPECT_EQ(stored.writes, writes);
  type(slider, "100", false);
  QTest::keyClick(edit, Qt::Key_Up);
  EXPECT_EQ(stored.value, 101);
  EXPECT_EQ(text(slider), "101");
}

// An outside change shows in the field that has the focus while nothing is typed there;
// dropTyping() shows it over typed text as well.
TEST(ParamSlider, AFocusedFieldWithoutTypingFollowsTheValue) {
  Fixture f(3, {-24, 24});
  showActive(f.slider);
  field(f.slider)->setFocus();
  f.stored.value = 12;
  f.slider.refresh();
  EXPECT_EQ(text(f.slider), "12.0");
  type(f.slider, "1", false);
  f.stored.value = -12;
  f.slider.dropTyping();
  EXPECT_EQ(text(f.slider), "-12.0");
  EXPECT_EQ(track(f.slider)->value(), ParamSlider::sliderSteps / 4);
  EXPECT_TRUE(field(f.slider)->hasFocus());
}
