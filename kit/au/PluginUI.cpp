#include "au/PluginUI.h"

#include "au/platform/Lv2Plugins.h"

namespace quar {

std::vector<PluginUI> PluginUI::of(const AudioUnitDescriptor& plugin) {
  return lv2::uis(plugin.componentDescription());
}

std::optional<std::string> PluginUI::pluginURI(const AudioUnitDescriptor& plugin) {
  return lv2::pluginURI(plugin.componentDescription());
}

LV2_URID_Map* PluginUI::uridMap() { return lv2::uridMap(); }

LV2_URID_Unmap* PluginUI::uridUnmap() { return lv2::uridUnmap(); }

} // namespace quar
