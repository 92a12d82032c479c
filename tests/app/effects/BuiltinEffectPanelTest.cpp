// The app's table of built-in effects: one record per kind, each making only its own kind's panel.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "EditorTestSupport.h"
#include "effects/BuiltinEffectPanel.h"
#include "effects/EffectEditor.h"
#include "effects/GainReductionMeter.h"

using namespace EditorTestSupport;
using quar::EffectKind;

TEST(BuiltinEffectPanel, OneRecordPerKindMakingThatKindsPanelOnly) {
  const auto& kinds = quar::allCases<EffectKind>();
  ASSERT_EQ(builtinEffectPanels().size(), kinds.size());
  const std::unique_ptr<EditorModel> model = makeModel();
  const quar::Uuid slot = addSlot(*model, quar::defaultSettings(EffectKind::compressor));
  for (size_t i = 0; i < kinds.size(); ++i) {
    const EffectKind kind = kinds[i];
    SCOPED_TRACE(quar::rawValue(kind));
    EXPECT_EQ(std::ranges::count(builtinEffectPanels(), kind, &BuiltinEffectPanel::kind), 1);
    const BuiltinEffectPanel& record = builtinEffectPanel(kind);
    EXPECT_EQ(record.kind, kind);

    Stored<quar::EffectSettings> own{quar::defaultSettings(kind)};
    const BuiltinEffectPanel::Made made = record.makeEditor(own.binding(), model.get(), slot);
    const std::unique_ptr<EffectEditor> editor(made.editor);
    ASSERT_NE(editor, nullptr);
    if (made.meter) {
      EXPECT_EQ(made.meter->parent(), editor.get());
    }
    EXPECT_EQ(own.writes, 0);

    // A value of another kind makes nothing, not even a meter.
    Stored<quar::EffectSettings> other{quar::defaultSettings(kinds[(i + 1) % kinds.size()])};
    const BuiltinEffectPanel::Made none = record.makeEditor(other.binding(), model.get(), slot);
    EXPECT_EQ(none.editor, nullptr);
    EXPECT_EQ(none.meter, nullptr);
  }
}
