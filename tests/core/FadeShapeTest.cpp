#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "core/FadeShape.h"

using namespace quar;

TEST(FadeShape, CasesNamesAndCurves) {
  struct Case {
    FadeShape shape;
    const char* raw;
    const char* name;
    double atQuarter;
  };
  const Case cases[] = {
      {FadeShape::linear, "linear", "Linear", 0.25},
      {FadeShape::logarithmic, "logarithmic", "Logarithmic (fast)", 0.4375},
      {FadeShape::exponential, "exponential", "Exponential (slow)", 0.015625},
      {FadeShape::sCurve, "sCurve", "S-Curve", 0.5 - 0.5 * std::sqrt(0.5)},
      {FadeShape::equalPower, "equalPower", "Equal Power", std::sin(std::numbers::pi / 8)},
  };
  ASSERT_EQ(allCases<FadeShape>().size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    EXPECT_EQ(allCases<FadeShape>()[i], c.shape);
    EXPECT_EQ(rawValue(c.shape), c.raw);
    EXPECT_EQ(displayName(c.shape), c.name);
    EXPECT_NEAR(gain(c.shape, 0.25), c.atQuarter, 1e-15) << c.raw;
    for (double t : {-0.5, 0.0}) EXPECT_EQ(gain(c.shape, t), 0.0) << c.raw << " " << t;
    for (double t : {1.0, 2.0}) EXPECT_EQ(gain(c.shape, t), 1.0) << c.raw << " " << t;
    for (double t = 0.05; t < 1; t += 0.05) EXPECT_LT(gain(c.shape, t - 0.05), gain(c.shape, t)) << c.raw;
  }
}

TEST(FadeShape, JsonIsTheRawValue) {
  for (FadeShape shape : allCases<FadeShape>()) {
    const Json json = shape;
    EXPECT_EQ(json, std::string(rawValue(shape)));
    EXPECT_EQ(json.get<FadeShape>(), shape);
  }
  for (const char* text : {R"("Linear")", R"("")", "3", "null"})
    EXPECT_THROW(Json::parse(text).get<FadeShape>(), DecodingError) << text;
}
