// The Add Effect menu: its category sections, adding built-in effects and plug-ins, and the
// plug-in library behind its "LV2 Plug-ins" submenu (grouping, ordering, one query per run).
#include <gtest/gtest.h>

#include <QMenu>

#include "AppTestSupport.h"
#include "au/support/TestUnits.h"
#include "effects/AddEffectMenu.h"
#include "effects/AudioUnitLibrary.h"
#include "effects/EffectsRack.h"

using quar::AudioUnitDescriptor;
using quar::EffectKind;

namespace {

// The menu's content as it is built when it opens.
QMenu* opened(AddEffectMenu& button) {
  Q_EMIT button.menu()->aboutToShow();
  return button.menu();
}

// "[Section]" for a section heading, "-" for a divider, "Title >" for a submenu, else the title.
QStringList layout(const QMenu* menu) {
  QStringList lines;
  for (const QAction* action : menu->actions()) {
    if (action->isSeparator())
      lines << (action->text().isEmpty() ? QStringLiteral("-") : "[" + action->text() + "]");
    else if (action->menu())
      lines << action->text() + " >";
    else
      lines << action->text();
  }
  return lines;
}

QAction* find(const QMenu* menu, const QString& title) {
  for (QAction* action : menu->actions())
    if (action->text() == title) return action;
  return nullptr;
}

AudioUnitDescriptor plugin(const char* maker, const char* name) {
  AudioUnitDescriptor descriptor;
  descriptor.componentType = quar::AudioUnitDescriptor::fourCC("aufx");
  descriptor.componentSubType = static_cast<uint32_t>(std::hash<std::string>()(name));
  descriptor.name = name;
  descriptor.manufacturerName = maker;
  return descriptor;
}

} // namespace

class AddEffectMenuTest : public AppTest {};

TEST_F(AddEffectMenuTest, ListsTheBuiltInEffectsByCategoryThenThePlugins) {
  EffectsRack rack;
  AddEffectMenu button(&rack);
  EXPECT_EQ(button.text(), "Add Effect");
  EXPECT_FALSE(button.icon().isNull());
  const QMenu* menu = opened(button);
  EXPECT_EQ(layout(menu), QStringList({"[Tone]", "Parametric EQ", "Saturation", "[Dynamics]", "Compressor",
                                       "Noise Gate", "[Time & Space]", "Delay", "Reverb", "Chorus / Flanger",
                                       "[Restoration]", "Noise Reduction", "-", "LV2 Plug-ins >"}));
  for (const QAction* action : menu->actions()) {
    if (action->isSeparator() || action->menu()) continue;
    EXPECT_FALSE(action->icon().isNull()) << action->text().toStdString();
  }

  // Built anew on every opening.
  EXPECT_EQ(layout(opened(button)).size(), 14);
}

TEST_F(AddEffectMenuTest, ChoosingAnEffectAppendsItsDefaultsEnabledAndExpanded) {
  EffectsRack rack;
  rack.add(quar::defaultSettings(EffectKind::eq));
  AddEffectMenu button(&rack);
  find(opened(button), "Chorus / Flanger")->trigger();
  ASSERT_EQ(rack.slots().size(), 2u);
  const EffectSlot& added = rack.slots().back();
  EXPECT_EQ(*added.settings(), quar::defaultSettings(EffectKind::chorus));
  EXPECT_TRUE(added.isEnabled);
  EXPECT_EQ(rack.expandedSlotID(), added.id);
}

TEST_F(AddEffectMenuTest, ThePluginSubmenuGroupsByMaker) {
  QMenu menu;
  std::vector<AudioUnitDescriptor> chosen;
  const auto groups = AudioUnitLibrary::grouped({plugin("Maker 10", "Ten"), plugin("Maker 2", "Two B"),
                                                 plugin("Maker 2", "Two A"), plugin("acme", "Small"),
                                                 plugin("Acme", "Big")});
  AddEffectMenu::fillPluginMenu(&menu, groups, [&](const AudioUnitDescriptor& d) { chosen.push_back(d); });
  EXPECT_EQ(layout(&menu), QStringList({"acme >", "Acme >", "Maker 2 >", "Maker 10 >"}));
  const QMenu* maker2 = find(&menu, "Maker 2")->menu();
  EXPECT_EQ(layout(maker2), QStringList({"Two B", "Two A"}));  // the catalog's order
  find(maker2, "Two A")->trigger();
  ASSERT_EQ(chosen.size(), 1u);
  EXPECT_EQ(chosen[0], plugin("Maker 2", "Two A"));

  QMenu none;
  AddEffectMenu::fillPluginMenu(&none, {}, [](const AudioUnitDescriptor&) {});
  ASSERT_EQ(none.actions().size(), 1);
  EXPECT_EQ(none.actions()[0]->text(), "No LV2 plug-in effects found");
  EXPECT_FALSE(none.actions()[0]->isEnabled());
}

TEST_F(AddEffectMenuTest, TheLibraryOrdersMakersAsAFileBrowserDoes) {
  const auto groups = AudioUnitLibrary::grouped({plugin("Gamma", "g"), plugin("beta", "b"), plugin("Alpha", "a"),
                                                 plugin("Maker 10", "m10"), plugin("Maker 2", "m2")});
  QStringList makers;
  for (const auto& group : groups) makers << QString::fromStdString(group.manufacturer);
  EXPECT_EQ(makers, QStringList({"Alpha", "beta", "Gamma", "Maker 2", "Maker 10"}));
}

TEST_F(AddEffectMenuTest, TheInstalledPluginsAreQueriedOncePerRun) {
  const auto installed = AudioUnitLibrary::byManufacturer();
  const auto tests = std::ranges::find(installed, std::string("Quarnel Tests"), &AudioUnitLibrary::Group::manufacturer);
  ASSERT_NE(tests, installed.end());
  std::vector<std::string> names;
  for (const auto& descriptor : tests->descriptors) names.push_back(descriptor.name);
  EXPECT_EQ(names, (std::vector<std::string>{"Test Mono Gain", "Test Needs Worker", "Test Stereo Gain"}));

  // A plug-in that appears later is not seen in this run.
  quar::test::FakeComponent late({{quar::componentType::effect, 0x51554c54, 0x51554c54, 0, 0}, "Late Unit", "Late Maker", 1});
  EXPECT_EQ(AudioUnitLibrary::byManufacturer().size(), installed.size());

  EffectsRack rack;
  AddEffectMenu button(&rack);
  QMenu* plugins = find(opened(button), "LV2 Plug-ins")->menu();
  EXPECT_EQ(find(plugins, "Late Maker"), nullptr);
  find(find(plugins, "Quarnel Tests")->menu(), "Test Stereo Gain")->trigger();
  ASSERT_EQ(rack.slots().size(), 1u);
  EXPECT_EQ(rack.slots()[0].displayName(), "Test Stereo Gain");
  EXPECT_TRUE(rack.loadingSlots().contains(rack.slots()[0].id));  // shown at once, loading
}
