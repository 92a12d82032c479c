// What the LV2 back-end tells a UI host: a plug-in's own editors and the shared URID map.
#include <gtest/gtest.h>

#include <filesystem>

#include <lv2/ui/ui.h>

#include "au/platform/Lv2Plugins.h"
#include "au/support/TestUnits.h"

using namespace quar;
using namespace quar::test;

TEST(Lv2Plugins, ThePluginsOwnEditorsWithTheirTypesAndPaths) {
  const auto uis = lv2::uis(lv2Component(testPlugins + "stereo-gain").description);
  ASSERT_EQ(uis.size(), 1u);
  EXPECT_EQ(uis[0].uri, testPlugins + "stereo-gain#ui");
  EXPECT_EQ(uis[0].typeURIs, std::vector<std::string>{LV2_UI__X11UI});
  const std::filesystem::path bundle(uis[0].bundlePath);
  EXPECT_EQ(bundle.parent_path().filename(), "quarnel-test.lv2");
  EXPECT_EQ(std::filesystem::path(uis[0].binaryPath), bundle / "quarnel-test-ui.so");

  EXPECT_TRUE(lv2::uis(lv2Component(testPlugins + "mono-gain").description).empty());
  EXPECT_TRUE(lv2::uis({componentType::effect, 1, 2, 0, 0}).empty());  // no such plug-in
}

TEST(Lv2Plugins, UIsShareTheInstancesURIDs) {
  LV2_URID_Map* map = lv2::uridMap();
  const LV2_URID id = map->map(map->handle, "http://quarnel.invalid/lv2/some-key");
  EXPECT_EQ(map->map(map->handle, "http://quarnel.invalid/lv2/some-key"), id);
  LV2_URID_Unmap* unmap = lv2::uridUnmap();
  EXPECT_STREQ(unmap->unmap(unmap->handle, id), "http://quarnel.invalid/lv2/some-key");
}
