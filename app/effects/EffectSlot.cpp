#include "effects/EffectSlot.h"

#include <utility>

using quar::AudioUnitDescriptor;
using quar::EffectSettings;

EffectSlot EffectSlot::builtin(EffectSettings settings) { return {quar::Uuid::random(), true, std::move(settings)}; }

EffectSlot EffectSlot::audioUnit(AudioUnitDescriptor descriptor) {
  return {quar::Uuid::random(), true, std::move(descriptor)};
}

QString EffectSlot::displayName() const {
  if (const AudioUnitDescriptor* unit = descriptor()) return QString::fromStdString(unit->name);
  return QUtf8StringView(quar::displayName(quar::kind(*settings()))).toString();
}

QString EffectSlot::symbol() const {
  if (descriptor()) return QStringLiteral("puzzlepiece.extension");
  return QUtf8StringView(quar::symbol(quar::kind(*settings()))).toString();
}

QString EffectSlot::structuralKey() const {
  const std::string kindKey = descriptor() ? "au-" + descriptor()->id() : std::string(quar::rawValue(quar::kind(*settings())));
  return QString::fromStdString(id.uuidString() + "-" + kindKey);
}

size_t std::hash<EffectSlot>::operator()(const EffectSlot& slot) const noexcept {
  size_t h = std::hash<quar::Uuid>{}(slot.id);
  h = h * 31 + std::hash<bool>{}(slot.isEnabled);
  h = h * 31 + slot.source.index();
  if (const EffectSettings* settings = slot.settings()) return h * 31 + std::hash<EffectSettings>{}(*settings);
  return h * 31 + std::hash<AudioUnitDescriptor>{}(*slot.descriptor());
}
