#include "au/AudioUnitCatalog.h"

#include <algorithm>
#include <locale>
#include <stdexcept>
#include <string>
#include <unordered_set>

#include "au/platform/ComponentManager.h"

namespace quar {

namespace {

// UTF-8 text as wide characters (code points); a byte that starts no valid sequence gives U+FFFD.
std::wstring widened(const std::string& text) {
  static_assert(sizeof(wchar_t) == 4, "wide characters hold code points");
  std::wstring result;
  result.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t length = lead < 0x80               ? 1
                          : (lead & 0xE0) == 0xC0 ? 2
                          : (lead & 0xF0) == 0xE0 ? 3
                          : (lead & 0xF8) == 0xF0 ? 4
                                                  : 0;
    uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
    bool valid = length > 0 && i + length <= text.size();
    for (size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      valid = (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3F);
    }
    valid = valid && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
    result.push_back(static_cast<wchar_t>(valid ? code : 0xFFFD));
    i += valid ? length : 1;
  }
  return result;
}

// Orders text as the user's locale collates it (LC_COLLATE and LC_CTYPE from the environment),
// without case: both sides are lowered first. In the "C" locale (also when the environment names
// a locale that is not installed) that is code point order with ASCII letters lowered.
class LocalizedCaseInsensitiveOrder {
public:
  LocalizedCaseInsensitiveOrder()
      : locale_(userLocale()), ctype_(std::use_facet<std::ctype<wchar_t>>(locale_)),
        collate_(std::use_facet<std::collate<wchar_t>>(locale_)) {}

  // The text as the comparison sees it.
  std::wstring key(const std::string& text) const {
    std::wstring wide = widened(text);
    ctype_.tolower(wide.data(), wide.data() + wide.size());
    return wide;
  }
  // <0, 0 or >0.
  int compare(const std::wstring& a, const std::wstring& b) const {
    return collate_.compare(a.data(), a.data() + a.size(), b.data(), b.data() + b.size());
  }

private:
  static std::locale userLocale() {
    try {
      return std::locale("");
    } catch (const std::runtime_error&) {
      return std::locale::classic();
    }
  }

  std::locale locale_;
  const std::ctype<wchar_t>& ctype_;
  const std::collate<wchar_t>& collate_;
};

} // namespace

const std::set<uint32_t>& AudioUnitCatalog::excludedAppleSubTypes() {
  static const std::set<uint32_t> subTypes{AudioUnitDescriptor::fourCC("nsnd")};
  return subTypes;
}

std::vector<AudioUnitDescriptor> AudioUnitCatalog::availableEffects() {
  std::vector<AudioUnitDescriptor> result;
  std::unordered_set<std::string> seen;
  for (uint32_t type : {componentType::effect, componentType::musicEffect}) {
    for (const auto& component : ComponentManager::components({type, 0, 0, 0, 0})) {
      const auto& d = component.description;
      if (d.componentManufacturer == appleManufacturer && excludedAppleSubTypes().contains(d.componentSubType))
        continue;
      AudioUnitDescriptor descriptor(d.componentType, d.componentSubType, d.componentManufacturer, component.name,
                                     component.manufacturerName, component.version,
                                     d.componentManufacturer == appleManufacturer);
      if (!seen.insert(descriptor.id()).second) continue;
      result.push_back(std::move(descriptor));
    }
  }
  const LocalizedCaseInsensitiveOrder order;
  struct Entry {
    std::wstring maker, name;
    AudioUnitDescriptor descriptor;
  };
  std::vector<Entry> entries;
  entries.reserve(result.size());
  for (AudioUnitDescriptor& descriptor : result)
    entries.push_back({order.key(descriptor.manufacturerName), order.key(descriptor.name), std::move(descriptor)});
  std::stable_sort(entries.begin(), entries.end(), [&order](const Entry& a, const Entry& b) {
    const int byMaker = order.compare(a.maker, b.maker);
    return byMaker != 0 ? byMaker < 0 : order.compare(a.name, b.name) < 0;
  });
  result.clear();
  for (Entry& entry : entries) result.push_back(std::move(entry.descriptor));
  return result;
}

std::optional<bool> AudioUnitCatalog::isV3(const AudioUnitDescriptor& descriptor) {
  const auto component = ComponentManager::findNext(descriptor.componentDescription());
  if (!component) return std::nullopt;
  return (component->description.componentFlags & componentFlagIsV3) != 0;
}

} // namespace quar
