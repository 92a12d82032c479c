// EffectsRackView: the effects rack panel of one document, the content of the inspector's
// Effects tab. From top to bottom: the "Preview" toggle and the Add Effect menu; the error
// banner while the rack has a message; then either the empty state (a hint and quick-add
// buttons for Parametric EQ, Compressor and Reverb) or one EffectSlotCard per slot and the
// footer: the "Effect tail" picker, "Clear", the Apply button ("Apply to Selection" or "Apply
// to Entire File", Ctrl+Shift+Return) and, while the preview is off, a note saying so. The
// panel keeps no state: it shows the rack and its apply target and calls their operations.
// GUI thread.
#pragma once

#include <QWidget>

#include <map>

#include "base/Uuid.h"

class AddEffectMenu;
class ApplyTarget;
class EffectSlotCard;
class EffectsRack;
class ObservedRefresh;
class QComboBox;
class QLabel;
class QPushButton;
class QToolButton;
class QVBoxLayout;

class EffectsRackView final : public QWidget {
  Q_OBJECT
public:
  explicit EffectsRackView(ApplyTarget* model, QWidget* parent = nullptr);

  // The card of the slot, or null.
  EffectSlotCard* card(const quar::Uuid& slotID) const;
  AddEffectMenu* addEffectMenu() const { return addEffect_; }

private:
  QWidget* makeHeader();
  QWidget* makeBanner();
  QWidget* makeEmptyState();
  QWidget* makeFooter();
  void refresh();
  // One card per slot, in slot order; cards of slots that are gone are dropped.
  void showCards();

  ApplyTarget* model_;
  EffectsRack* rack_;
  QToolButton* preview_ = nullptr;
  AddEffectMenu* addEffect_ = nullptr;
  QWidget* banner_ = nullptr;
  QLabel* bannerText_ = nullptr;
  QWidget* emptyState_ = nullptr;
  QWidget* cards_ = nullptr;
  QVBoxLayout* cardsLayout_ = nullptr;
  std::map<quar::Uuid, EffectSlotCard*> cardsByID_;
  QWidget* footer_ = nullptr;
  QComboBox* tail_ = nullptr;
  QPushButton* apply_ = nullptr;
  QLabel* previewOff_ = nullptr;
  ObservedRefresh* observer_;
};
