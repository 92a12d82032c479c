// EffectSlotCard: the whole user interface of one rack slot in the effects rack panel. A header
// with the slot's enable check box ("Bypass" / "Enable"), its icon and title, a spinner while a
// plug-in loads, the slot menu and the expand chevron (a double-click on the header also
// toggles); below it, while the slot is the rack's expanded one, the slot's editor, greyed and
// inert while the slot is bypassed; the expand button unrolls and rolls it up on Motion's
// spring, a double-click on the header shows or hides it at once. The slot menu applies factory
// and user presets, saves the settings as a user preset through a window-modal naming prompt,
// and moves or removes the slot. The card keeps no slot state: it reads the slot from the rack
// and writes every change to the rack. GUI thread.
#pragma once

#include <QDialog>
#include <QFrame>
#include <QPointer>

#include <optional>

#include "base/Uuid.h"
#include "dsp/effects/EffectSettings.h"
#include "effects/EffectSlot.h"

class ActivitySpinner;
class ApplyTarget;
class EffectsRack;
class ObservedRefresh;
class QCheckBox;
class QLabel;
class QMenu;
class QToolButton;
class QVBoxLayout;
class SlidingPanel;

namespace quar {
class AudioUnitEffect;
}

class EffectSlotCard final : public QFrame {
  Q_OBJECT
public:
  // The opacity of a bypassed slot's editor.
  static constexpr double bypassedOpacity = 0.55;

  EffectSlotCard(EffectsRack* rack, ApplyTarget* model, quar::Uuid slotID, QWidget* parent = nullptr);

  const quar::Uuid& slotID() const { return slotID_; }
  // Puts a preset's settings into the slot; a noise-reduction slot keeps its learnt profile. The
  // editor's value fields show the preset at once, dropping text being typed.
  void applyPreset(const quar::EffectSettings& preset);

  // The slot menu; its content is built anew each time it is about to show.
  QMenu* slotMenu() const { return menu_; }
  // The save-preset prompt while it is open, else null.
  QDialog* savePrompt() const { return prompt_; }
  // The slot's editor while the card is expanded, else null.
  QWidget* editor() const { return editor_; }

protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  // The slot as the rack holds it now; none once it left the rack.
  std::optional<EffectSlot> slot() const;
  void refresh();
  // Shows the editor the slot needs, making a new one when what it shows changed.
  void showEditor(const EffectSlot& slot, bool loading);
  void setSlotEnabled(bool enabled);
  // The expand button animates the change on the spring; a double-click on the header does not.
  void toggleExpanded(bool animated);
  void dropEditor();
  void fillMenu();
  void promptForPresetName();
  void savePreset(const QString& typedName);

  EffectsRack* rack_;
  ApplyTarget* model_;
  quar::Uuid slotID_;
  QWidget* header_;
  QCheckBox* enabled_;
  QLabel* icon_;
  QLabel* title_;
  ActivitySpinner* spinner_;
  QToolButton* menuButton_;
  QMenu* menu_;
  QToolButton* expand_;
  SlidingPanel* reveal_;
  QWidget* body_;
  QVBoxLayout* bodyLayout_;
  QPointer<QWidget> editor_;
  // For a plug-in slot's editor: whether it shows the loading state, and the instance it edits.
  bool editorLoading_ = false;
  const quar::AudioUnitEffect* editorEffect_ = nullptr;
  QPointer<QDialog> prompt_;
  ObservedRefresh* observer_;
};
