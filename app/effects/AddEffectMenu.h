// AddEffectMenu: the "Add Effect" pull-down of the effects rack panel. Its menu, built anew each
// time it opens, lists the built-in effects in sections by category ("Tone", "Dynamics",
// "Time & Space", "Restoration") and, in the submenu "LV2 Plug-ins", the installed plug-in
// effects in one submenu per maker; choosing an entry appends that effect to the rack. GUI
// thread.
#pragma once

#include <QToolButton>

#include <functional>

#include "effects/AudioUnitLibrary.h"

class EffectsRack;
class QMenu;

class AddEffectMenu final : public QToolButton {
  Q_OBJECT
public:
  explicit AddEffectMenu(EffectsRack* rack, QWidget* parent = nullptr);

  // Fills `menu` with one submenu per maker group, each listing its plug-ins by name, or, with
  // no group, the disabled item "No LV2 plug-in effects found". Choosing a plug-in calls `choose`.
  static void fillPluginMenu(QMenu* menu, const std::vector<AudioUnitLibrary::Group>& groups,
                             const std::function<void(const quar::AudioUnitDescriptor&)>& choose);

private:
  void rebuild();

  EffectsRack* rack_;
};
