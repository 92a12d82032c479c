#include <gtest/gtest.h>

#include <unordered_set>

#include "editor/AnalysisScope.h"
#include "editor/InspectorTab.h"
#include "editor/LoudnessAdjustMode.h"
#include "editor/Marker.h"
#include "editor/ProgressToken.h"
#include "recording/RecordMode.h"

TEST(ProgressToken, ClampsStoresAndReportsCancellation) {
  ProgressToken token;
  EXPECT_EQ(token.fraction(), 0);
  EXPECT_TRUE(token.report(0.5));
  EXPECT_TRUE(token.report(-0.5));
  EXPECT_EQ(token.fraction(), 0);
  token.report(1.7);
  EXPECT_EQ(token.fraction(), 1);
  token.report(std::nan(""));
  EXPECT_TRUE(std::isnan(token.fraction()));
  token.cancel();
  EXPECT_FALSE(token.callback()(0.25));
  EXPECT_EQ(token.fraction(), 0.25);
  EXPECT_TRUE(token.isCancelled());
}

TEST(EditorTypes, MarkersCompareAllFields) {
  const quar::Uuid id = quar::Uuid::random();
  const Marker a{id, 10, QStringLiteral("A")};
  const Marker b{id, 10, QStringLiteral("B")};
  EXPECT_NE(a, b);
  EXPECT_EQ(a, (Marker{id, 10, QStringLiteral("A")}));
  std::unordered_set<Marker> set{a, b};
  EXPECT_EQ(set.size(), 2u);
}

TEST(EditorTypes, EnumerationsFromRawValues) {
  EXPECT_EQ(quar::fromRawValue<InspectorTab>(2), InspectorTab::info);
  EXPECT_EQ(quar::fromRawValue<InspectorTab>(5), std::nullopt);
  EXPECT_EQ(quar::fromRawValue<AnalysisScope>(std::string_view("selection")), AnalysisScope::selection);
  EXPECT_EQ(quar::fromRawValue<LoudnessAdjustMode>(std::string_view("Manual")), std::nullopt);
  EXPECT_EQ(quar::fromRawValue<RecordMode>(std::string_view("append")), RecordMode::append);
}
