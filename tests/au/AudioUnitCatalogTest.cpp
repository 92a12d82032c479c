#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <locale>
#include <stdexcept>
#include <string>

#include "au/AudioUnitCatalog.h"
#include "au/platform/Lv2Plugins.h"
#include "au/support/TestUnits.h"

using namespace quar;
using namespace quar::test;

namespace {

constexpr uint32_t fx = componentType::effect;
constexpr uint32_t mf = componentType::musicEffect;
const uint32_t nsnd = AudioUnitDescriptor::fourCC("nsnd");
const uint32_t fake = AudioUnitDescriptor::fourCC("fake");
// An effect that no component serves.
const AudioUnitDescriptor uninstalled(fx, AudioUnitDescriptor::fourCC("none"), AudioUnitDescriptor::fourCC("none"),
                                      "Absent", "Nobody", 0, false);

PlatformComponent component(uint32_t type, uint32_t subType, uint32_t maker, std::string name, std::string makerName,
                            uint32_t flags = 0) {
  return {{type, subType, maker, flags, 0}, std::move(name), std::move(makerName), 1};
}

// The listed entries whose manufacturer code is one of the fakes'.
std::vector<AudioUnitDescriptor> listedFakes(const std::vector<uint32_t>& makers) {
  std::vector<AudioUnitDescriptor> result;
  for (auto& d : AudioUnitCatalog::availableEffects())
    if (std::find(makers.begin(), makers.end(), d.componentManufacturer) != makers.end()) result.push_back(d);
  return result;
}

const AudioUnitDescriptor* find(const std::vector<AudioUnitDescriptor>& list, const std::string& name) {
  auto it = std::find_if(list.begin(), list.end(), [&](const auto& d) { return d.name == name; });
  return it == list.end() ? nullptr : &*it;
}

} // namespace

TEST(AudioUnitCatalog, SkipsOnlyThePlatformVendorsExcludedSubtypes) {
  EXPECT_EQ(AudioUnitCatalog::excludedAppleSubTypes(), std::set<uint32_t>{nsnd});
  FakeComponent vendor(component(fx, nsnd, appleManufacturer, "Vendor Noise", "Acme"));
  FakeComponent vendorOther(component(fx, fake, appleManufacturer, "Vendor Other", "Acme"));
  FakeComponent other(component(fx, nsnd, fake, "Other Noise", "Other"));
  const auto listed = listedFakes({appleManufacturer, fake});
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0], AudioUnitDescriptor(fx, fake, appleManufacturer, "Vendor Other", "Acme", 1, true));
  EXPECT_EQ(listed[1], AudioUnitDescriptor(fx, nsnd, fake, "Other Noise", "Other", 1, false));
}

TEST(AudioUnitCatalog, DuplicateIdsGiveOneEntryAndTheFirstWins) {
  FakeComponent first(component(fx, 1, fake, "First", "Dup"));
  FakeComponent second(component(fx, 1, fake, "Second", "Dup"));
  FakeComponent music(component(mf, 1, fake, "Music", "Dup"));
  const auto listed = listedFakes({fake});
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].name, "First");
  EXPECT_EQ(listed[1].name, "Music");
  EXPECT_EQ(listed[1].componentType, mf);
}

TEST(AudioUnitCatalog, SortsByMakerThenNameIgnoringCase) {
  const uint32_t maker = AudioUnitDescriptor::fourCC("srt1");
  FakeComponent a(component(mf, 1, maker, "zeta", "beta"));
  FakeComponent b(component(fx, 2, maker, "Beta", "alder"));
  FakeComponent c(component(fx, 3, maker, "alpha", "Alder"));
  FakeComponent d(component(fx, 4, maker, "Same", "Beta"));
  FakeComponent e(component(fx, 5, maker, "same", "beta"));
  std::vector<std::string> names;
  for (const auto& entry : listedFakes({maker})) names.push_back(entry.name);
  // "alder" = "Alder" falls back to the name; equal keys keep enumeration order ('aufx' first).
  EXPECT_EQ(names, (std::vector<std::string>{"alpha", "Beta", "Same", "same", "zeta"}));
}

// Names beyond ASCII sort as the user's locale sorts them, still without case: É and é with
// E, Ö with O, ß as ss; not after every ASCII letter, as their bytes would.
TEST(AudioUnitCatalog, SortsAsTheUsersLocaleDoes) {
  const char* const candidates[] = {"en_US.UTF-8", "en_GB.UTF-8", "de_DE.UTF-8", "fr_FR.UTF-8", "nl_NL.UTF-8"};
  const char* chosen = nullptr;
  for (const char* name : candidates) {
    try {
      (void)std::locale(name);
      chosen = name;
      break;
    } catch (const std::runtime_error&) {
    }
  }
  if (!chosen) GTEST_SKIP() << "no locale of English, German, French or Dutch collation installed (locale -a)";

  const uint32_t maker = AudioUnitDescriptor::fourCC("srt2");
  FakeComponent a(component(fx, 1, maker, "Zeta", "Zephyr"));
  FakeComponent b(component(fx, 2, maker, "b", "\u00C9clat"));  // Éclat
  FakeComponent c(component(fx, 3, maker, "Echo", "Echo"));
  FakeComponent d(component(fx, 4, maker, "Ozone", "Orbit"));
  FakeComponent e(component(fx, 5, maker, "\u00D6dland", "Orbit"));  // Ödland
  FakeComponent f(component(fx, 6, maker, "Strata", "Sonic"));
  FakeComponent g(component(fx, 7, maker, "Stra\u00DFe", "Sonic"));  // Straße
  FakeComponent h(component(fx, 8, maker, "a", "\u00E9CLAT"));  // éCLAT: Éclat without case
  const uint32_t broken = AudioUnitDescriptor::fourCC("srt3");
  FakeComponent i(component(fx, 9, broken, "\xC3", "\xFF\xFEmaker"));  // not UTF-8

  const char* const saved = std::getenv("LC_ALL");
  const std::string previous = saved ? saved : "";
  setenv("LC_ALL", chosen, 1);
  std::vector<std::string> names;
  for (const auto& entry : listedFakes({maker})) names.push_back(entry.name);
  EXPECT_EQ(listedFakes({broken}).size(), 1u);
  if (saved)
    setenv("LC_ALL", previous.c_str(), 1);
  else
    unsetenv("LC_ALL");
  const std::vector<std::string> expected{"Echo", "a", "b", "\u00D6dland", "Ozone", "Stra\u00DFe", "Strata", "Zeta"};
  EXPECT_EQ(names, expected) << chosen;
}

TEST(AudioUnitCatalog, IsV3TellsMissingFromInstalled) {
  EXPECT_EQ(AudioUnitCatalog::isV3(uninstalled), std::nullopt);
  FakeComponent v2(component(fx, 1, AudioUnitDescriptor::fourCC("vers"), "Two", "V"));
  FakeComponent v3(component(fx, 2, AudioUnitDescriptor::fourCC("vers"), "Three", "V", componentFlagIsV3));
  auto descriptor = [](uint32_t subType) {
    return AudioUnitDescriptor(fx, subType, AudioUnitDescriptor::fourCC("vers"), "", "", 0, false);
  };
  EXPECT_EQ(AudioUnitCatalog::isV3(descriptor(1)), false);
  EXPECT_EQ(AudioUnitCatalog::isV3(descriptor(2)), true);
  EXPECT_EQ(AudioUnitCatalog::isV3(descriptor(3)), std::nullopt);
}

TEST(AudioUnitCatalog, ListsLv2EffectsButNotInstrumentsOrGenerators) {
  const auto listed = AudioUnitCatalog::availableEffects();
  for (const char* name : {"MDA Delay", "MDA Overdrive", "MDA Limiter", "Test Mono Gain", "Test Splitter"})
    EXPECT_NE(find(listed, name), nullptr) << name;
  for (const char* name : {"MDA DX10", "MDA JX10", "MDA Piano", "MDA EPiano", "Test Generator"})
    EXPECT_EQ(find(listed, name), nullptr) << name;

  const auto* delay = find(listed, "MDA Delay");
  ASSERT_NE(delay, nullptr);
  EXPECT_EQ(delay->manufacturerName, "David Robillard");
  EXPECT_EQ(delay->componentType, fx);
  EXPECT_EQ(delay->version, 2u << 16);
  EXPECT_FALSE(delay->isAppleBuiltIn);
  EXPECT_EQ(AudioUnitCatalog::isV3(*delay), false);

  const auto* gain = find(listed, "Test Mono Gain");
  ASSERT_NE(gain, nullptr);
  EXPECT_EQ(gain->manufacturerName, "Quarnel Tests");
  EXPECT_EQ(gain->version, 0x00030001u);
  EXPECT_EQ(find(listed, "Test Splitter")->manufacturerName, "Unknown");
  // The generator is a component, named after its project, but no effect.
  EXPECT_EQ(lv2Component(testPlugins + "generator").manufacturerName, "Quarnel Test Project");
  EXPECT_EQ(lv2Component(testPlugins + "generator").description.componentType, componentType::generator);
  EXPECT_EQ(lv2Component("http://drobilla.net/plugins/mda/DX10").description.componentType,
            componentType::musicDevice);
}

TEST(AudioUnitCatalog, Lv2IdsAreStableAndResolveToTheirUris) {
  EXPECT_EQ(lv2::uriHash(""), 0xcbf29ce484222325ull);
  EXPECT_EQ(lv2::uriHash("a"), 0xaf63dc4c8601ec8cull);

  const auto first = AudioUnitCatalog::availableEffects();
  const auto second = AudioUnitCatalog::availableEffects();
  EXPECT_EQ(first, second);
  int resolved = 0;
  for (const auto& d : first) {
    const auto uri = lv2::pluginURI(d.componentDescription());
    if (!uri) continue;
    ++resolved;
    const uint64_t hash = lv2::uriHash(*uri);
    EXPECT_EQ(d.componentSubType, static_cast<uint32_t>(hash >> 32)) << *uri;
    EXPECT_EQ(d.componentManufacturer, static_cast<uint32_t>(hash)) << *uri;
  }
  EXPECT_GT(resolved, 20);
  const auto* delay = find(first, "MDA Delay");
  ASSERT_NE(delay, nullptr);
  EXPECT_EQ(lv2::pluginURI(delay->componentDescription()), "http://drobilla.net/plugins/mda/Delay");
  EXPECT_EQ(lv2::pluginURI(uninstalled.componentDescription()), std::nullopt);
}
