// The kit's table of built-in effects: one record per kind, each making its own kind's values.
#include "dsp/effects/BuiltinEffect.h"

#include <algorithm>

#include <gtest/gtest.h>

namespace quar {
namespace {

TEST(BuiltinEffect, OneRecordPerKindCarryingThatKind) {
  const std::span<const BuiltinEffect> records = builtinEffects();
  ASSERT_EQ(records.size(), allCases<EffectKind>().size());
  for (EffectKind kind : allCases<EffectKind>()) {
    SCOPED_TRACE(rawValue(kind));
    EXPECT_EQ(std::ranges::count(records, kind, &BuiltinEffect::kind), 1);
    const BuiltinEffect& record = builtinEffect(kind);
    EXPECT_EQ(record.kind, kind);
    EXPECT_EQ(quar::kind(record.defaultSettings()), kind);
    // The id is the settings' case name in their JSON form.
    const Json json = record.defaultSettings();
    EXPECT_TRUE(json.contains(record.id));

    const std::unique_ptr<ConfigurableEffect> first = record.makeProcessor(), second = record.makeProcessor();
    ASSERT_NE(first, nullptr);
    EXPECT_NE(first.get(), second.get());
  }
}

} // namespace
} // namespace quar
