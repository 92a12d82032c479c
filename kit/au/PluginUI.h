// PluginUI: one of a hosted plug-in's own editors (UIs) as a UI host loads it, and what the host
// hands every UI: the plug-in's URI and the URID map and unmap its instances share. The
// application embeds these; the kit makes no UI. Every call is safe from any thread (the plug-in
// world loads on first use).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <lv2/urid/urid.h>

#include "au/AudioUnitDescriptor.h"

namespace quar {

struct PluginUI {
  std::string uri;
  std::vector<std::string> typeURIs;  // its types (toolkits)
  std::string bundlePath;             // local paths
  std::string binaryPath;

  // The UIs of the described plug-in, in the plug-in's order; empty when it has none or is not
  // installed.
  static std::vector<PluginUI> of(const AudioUnitDescriptor& plugin);
  // The URI of the described plug-in, if it is installed.
  static std::optional<std::string> pluginURI(const AudioUnitDescriptor& plugin);
  static LV2_URID_Map* uridMap();
  static LV2_URID_Unmap* uridUnmap();
};

} // namespace quar
