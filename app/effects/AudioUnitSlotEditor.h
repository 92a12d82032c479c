// AudioUnitSlotEditor: the body of an expanded LV2 plug-in slot card: the line naming the
// plug-in's maker and version, then "Loading plug-in…" while its instance is being made, or,
// once it exists, the "Open Plug-in Editor" button with the plug-in's "Presets" menu (when it
// has presets) and its parameter list. Built from the slot's descriptor, the rack's instance and
// loading flag; the slot card makes a new one when these change. GUI thread.
#pragma once

#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>

#include "au/AudioUnitDescriptor.h"
#include "au/AudioUnitEffect.h"

class AudioUnitSlotEditor final : public QWidget {
  Q_OBJECT
public:
  AudioUnitSlotEditor(const quar::AudioUnitDescriptor& descriptor, std::shared_ptr<quar::AudioUnitEffect> effect,
                      bool loading, QWidget* parent = nullptr);

  // "major.minor.patch" of a packed version: the upper 16 bits, bits 8 to 15 and the low 8 bits.
  static QString versionText(uint32_t version);
  // "<maker> · version <version text>".
  static QString makerLine(const quar::AudioUnitDescriptor& descriptor);
};
