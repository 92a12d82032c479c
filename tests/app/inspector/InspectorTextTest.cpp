#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "inspector/InspectorText.h"

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
const double notANumber = std::nan("");

struct Case {
  double value;
  const char* text;
};

void expectTexts(QString (*format)(double), std::initializer_list<Case> cases, const char* what) {
  for (const Case& c : cases) EXPECT_EQ(format(c.value), QString::fromUtf8(c.text)) << what << " of " << c.value;
}

} // namespace

TEST(InspectorText, LoudnessAndLevelsStopAtTheirFloors) {
  expectTexts(InspectorText::loudness,
              {{-14.04, "-14.0"},
               {-99.96, "-100.0"},
               {-100, "–∞"},
               {-inf, "–∞"},
               {notANumber, "–∞"},
               {inf, "–∞"},
               {0.25, "0.2"}},
              "loudness");
  expectTexts(InspectorText::level,
              {{-1, "-1.0"}, {-139.96, "-140.0"}, {-140, "–∞"}, {-inf, "–∞"}, {notANumber, "–∞"}, {2.04, "2.0"}},
              "level");
}

TEST(InspectorText, LinearLevelsAndDCOffsets) {
  expectTexts(InspectorText::linearLevel,
              {{1, "0.0"},
               {0.5, "-6.0"},
               {2, "6.0"},
               {0, "–∞"},
               {-0.5, "–∞"},
               {notANumber, "–∞"},
               {inf, "–∞"},
               {std::pow(10.0, -139.97 / 20), "-140.0"},
               {std::pow(10.0, -140.0 / 20), "–∞"},
               {1e-30, "–∞"}},
              "linear level");
  expectTexts(InspectorText::dcOffset,
              {{0, "0.0000%"}, {-0.00123, "-0.1230%"}, {0.5, "50.0000%"}, {notANumber, "–"}, {-inf, "–"}}, "DC offset");
}

TEST(InspectorText, NumbersAsPrintfWritesThem) {
  expectTexts(InspectorText::wholeNumber,
              {{-23.5, "-23"}, {-14, "-14"}, {-0.4, "0"}, {47999.9, "47999"}, {1e20, "100000000000000000000"}},
              "whole number");
  struct Signed {
    double value;
    int decimals;
    const char* text;
  };
  for (const Signed& c : {Signed{0, 1, "+0.0"}, Signed{-0.04, 1, "-0.0"}, Signed{0.007, 2, "+0.01"},
                          Signed{-0.5, 2, "-0.50"}, Signed{2, 1, "+2.0"}, Signed{-3.5, 1, "-3.5"}})
    EXPECT_EQ(InspectorText::signedFixed(c.value, c.decimals), QString::fromLatin1(c.text)) << c.value;
  EXPECT_EQ(InspectorText::fixed(98.25, 1), QStringLiteral("98.2"));  // a tie rounds to even, as printf does
}
