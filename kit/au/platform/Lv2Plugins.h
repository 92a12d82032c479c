// The installed LV2 plug-ins as components. The plug-in world loads once, on first use, from
// LV2_PATH (or lilv's default search path); every call is safe from any thread.
// Codes of a plug-in: type 'aumu' for instruments, 'augn' without main audio input, 'aumf' when
// it takes MIDI events, else 'aufx'; subtype and manufacturer are the high and low halves of
// uriHash of its URI. Plug-ins without audio output are not served.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <lv2/urid/urid.h>

#include "au/PluginUI.h"
#include "au/platform/ComponentManager.h"

namespace quar::lv2 {

// FNV-1a, 64 bits, over the URI's bytes.
uint64_t uriHash(std::string_view uri);

std::vector<PlatformComponent> components();
// The URI of the plug-in with these codes (flags ignored), if one is installed.
std::optional<std::string> pluginURI(const AudioComponentDescription& description);
// A new unit of that plug-in at 48000 Hz; null when no plug-in has these codes. Throws
// PlatformError when the plug-in fails to load (a required feature this host lacks included).
std::shared_ptr<PlatformUnit> instantiate(const AudioComponentDescription& description);

// The UIs of the plug-in with these codes, in the plug-in's order; empty when it has none or
// no plug-in has these codes.
std::vector<PluginUI> uis(const AudioComponentDescription& description);
// The URID map and unmap shared by every instance, for the features handed to a UI.
LV2_URID_Map* uridMap();
LV2_URID_Unmap* uridUnmap();

} // namespace quar::lv2
