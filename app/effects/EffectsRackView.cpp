#include "effects/EffectsRackView.h"

#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

#include "base/Enums.h"
#include "effects/ApplyTarget.h"
#include "effects/AddEffectMenu.h"
#include "effects/EffectSlotCard.h"
#include "effects/EffectsRack.h"
#include "effects/SymbolButton.h"
#include "platform/Icons.h"
#include "platform/ObservedRefresh.h"
#include "widgets/RoundedPanel.h"
#include "widgets/Theme.h"
#include "widgets/ToneLabel.h"
#include "widgets/ViewStyle.h"

using quar::EffectKind;
using quar::EffectTailMode;

namespace {

constexpr int panelSpacing = 12;
constexpr int footerSpacing = 8;
constexpr int bannerInset = 8;
constexpr int bannerRadius = 8;
constexpr int emptySpacing = 10;
constexpr int emptyMinimumHeight = 180;
constexpr int largeTitleSize = 26;
constexpr int applyMinimumWidth = 150;

constexpr EffectTailMode tailModes[] = {EffectTailMode::mixIntoFollowing, EffectTailMode::truncate};

QLabel* symbolLabel(const QString& symbol, const QColor& color, int size, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setPixmap(Icons::tinted(symbol, color).pixmap(QSize(size, size), 2.0));
  return label;
}

} // namespace

EffectsRackView::EffectsRackView(ApplyTarget* model, QWidget* parent)
    : QWidget(parent), model_(model), rack_(&model->rack()),
      observer_(new ObservedRefresh([this] { refresh(); }, this)) {
  setObjectName(QStringLiteral("effectsRackView"));
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(panelSpacing);
  column->addWidget(makeHeader());
  column->addWidget(makeBanner());
  column->addWidget(makeEmptyState());
  cards_ = new QWidget(this);
  cards_->setObjectName(QStringLiteral("slotCards"));
  cardsLayout_ = new QVBoxLayout(cards_);
  cardsLayout_->setContentsMargins(0, 0, 0, 0);
  cardsLayout_->setSpacing(panelSpacing);
  column->addWidget(cards_);
  column->addWidget(makeFooter());
  column->addStretch();

  model_->watchChanges(observer_->tracker());
  observer_->watch(rack_);
  observer_->run();
}

EffectSlotCard* EffectsRackView::card(const quar::Uuid& slotID) const {
  const auto found = cardsByID_.find(slotID);
  return found == cardsByID_.end() ? nullptr : found->second;
}

QWidget* EffectsRackView::makeHeader() {
  auto* header = new QWidget(this);
  auto* row = new QHBoxLayout(header);
  row->setContentsMargins(0, 0, 0, 0);
  preview_ = new QToolButton(header);
  preview_->setObjectName(QStringLiteral("previewToggle"));
  preview_->setCheckable(true);
  preview_->setText(QStringLiteral("Preview"));
  preview_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  preview_->setToolTip(QStringLiteral("Hear the rack while playing (Space to play)"));
  connect(preview_, &QToolButton::toggled, rack_, &EffectsRack::setPreviewEnabled);
  addEffect_ = new AddEffectMenu(rack_, header);
  row->addWidget(preview_);
  row->addStretch();
  row->addWidget(addEffect_);
  return header;
}

QWidget* EffectsRackView::makeBanner() {
  // The error banner's ground: orange at 0.1 opacity.
  banner_ = new RoundedPanel(
      bannerRadius,
      [](const QPalette& palette) { return ViewStyle::withAlpha(ViewStyle::systemOrange.resolved(palette), 0.1); }, this);
  banner_->setObjectName(QStringLiteral("errorBanner"));
  auto* row = new QHBoxLayout(banner_);
  row->setContentsMargins(bannerInset, bannerInset, bannerInset, bannerInset);
  auto* warning = new QLabel(banner_);
  warning->setPixmap(Icons::get(QStringLiteral("exclamationmark.triangle.fill")).pixmap(QSize(14, 14), 2.0));
  bannerText_ = new QLabel(banner_);
  bannerText_->setObjectName(QStringLiteral("errorMessage"));
  bannerText_->setTextFormat(Qt::PlainText);
  bannerText_->setWordWrap(true);
  bannerText_->setFont(ViewStyle::font(ViewStyle::TextStyle::caption));
  bannerText_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  auto* dismiss = ViewStyle::iconButton(QStringLiteral("xmark"), QString(), 18, 18, banner_);
  dismiss->setObjectName(QStringLiteral("dismissError"));
  connect(dismiss, &QToolButton::clicked, rack_, &EffectsRack::dismissError);
  row->addWidget(warning, 0, Qt::AlignTop);
  row->addWidget(bannerText_, 1, Qt::AlignTop);
  row->addWidget(dismiss, 0, Qt::AlignTop);
  return banner_;
}

QWidget* EffectsRackView::makeEmptyState() {
  emptyState_ = new QWidget(this);
  emptyState_->setObjectName(QStringLiteral("emptyState"));
  emptyState_->setMinimumHeight(emptyMinimumHeight);
  auto* column = new QVBoxLayout(emptyState_);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(emptySpacing);
  column->addStretch();
  column->addWidget(symbolLabel(QStringLiteral("sparkles"), Theme::tertiaryLabel(palette()), largeTitleSize, emptyState_),
                    0, Qt::AlignHCenter);
  auto* hint = new ToneLabel(QStringLiteral("Add effects to build a chain. Play to hear it live, then apply it to the "
                                            "selection or the whole file."),
                             ViewStyle::calloutSize, ToneLabel::Tone::secondary, emptyState_);
  hint->setObjectName(QStringLiteral("emptyHint"));
  hint->setWordWrap(true);
  hint->setAlignment(Qt::AlignHCenter);
  column->addWidget(hint);
  auto* quickAdd = new QHBoxLayout;
  quickAdd->addStretch();
  for (const EffectKind kind : {EffectKind::eq, EffectKind::compressor, EffectKind::reverb}) {
    auto* button = new SymbolButton(QUtf8StringView(quar::symbol(kind)).toString(), 12, QUtf8StringView(quar::displayName(kind)).toString(), emptyState_);
    button->setObjectName(QStringLiteral("quickAdd-") + QUtf8StringView(quar::rawValue(kind)).toString());
    button->setFont(ViewStyle::font(ViewStyle::TextStyle::small));
    connect(button, &QToolButton::clicked, rack_, [rack = rack_, kind] { rack->add(quar::defaultSettings(kind)); });
    quickAdd->addWidget(button);
  }
  quickAdd->addStretch();
  column->addLayout(quickAdd);
  column->addStretch();
  return emptyState_;
}

QWidget* EffectsRackView::makeFooter() {
  footer_ = new QWidget(this);
  footer_->setObjectName(QStringLiteral("rackFooter"));
  auto* column = new QVBoxLayout(footer_);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(footerSpacing);
  auto* divider = new QFrame(footer_);
  divider->setFrameShape(QFrame::HLine);
  divider->setFrameShadow(QFrame::Sunken);
  column->addWidget(divider);

  const QString tailHelp = QStringLiteral(
      "Reverb and delay keep sounding after the selection. Ringing out mixes that tail into the following audio.");
  auto* tailRow = new QHBoxLayout;
  auto* tailTitle = new QLabel(QStringLiteral("Effect tail"), footer_);
  tailTitle->setFont(ViewStyle::font(ViewStyle::TextStyle::callout));
  tailTitle->setToolTip(tailHelp);
  tail_ = new QComboBox(footer_);
  tail_->setObjectName(QStringLiteral("tailMode"));
  tail_->setFont(ViewStyle::font(ViewStyle::TextStyle::callout));
  tail_->addItems({QStringLiteral("Let tails ring out"), QStringLiteral("Cut tails at selection end")});
  tail_->setToolTip(tailHelp);
  connect(tail_, &QComboBox::activated, rack_, [rack = rack_](int index) { rack->setTailMode(tailModes[index]); });
  tailRow->addWidget(tailTitle);
  tailRow->addWidget(tail_, 1);
  column->addLayout(tailRow);

  auto* actions = new QHBoxLayout;
  auto* clear = new QPushButton(QStringLiteral("Clear"), footer_);
  clear->setObjectName(QStringLiteral("clearRack"));
  ViewStyle::setDestructive(clear);
  connect(clear, &QPushButton::clicked, rack_, &EffectsRack::removeAll);
  apply_ = new QPushButton(footer_);
  apply_->setObjectName(QStringLiteral("applyRack"));
  apply_->setMinimumWidth(applyMinimumWidth);
  apply_->setDefault(true);
  connect(apply_, &QPushButton::clicked, this, [this] { model_->applyEffects(); });
  actions->addWidget(clear);
  actions->addStretch();
  actions->addWidget(apply_);
  column->addLayout(actions);

  previewOff_ = new ToneLabel(QStringLiteral("Preview is off \u2014 you\u2019re hearing the audio without the rack."),
                              ViewStyle::captionSize, ToneLabel::Tone::secondary, footer_);
  previewOff_->setObjectName(QStringLiteral("previewOffNote"));
  previewOff_->setWordWrap(true);
  column->addWidget(previewOff_);
  return footer_;
}

void EffectsRackView::refresh() {
  const bool previewOn = rack_->previewEnabled();
  {
    const QSignalBlocker blocker(preview_);
    preview_->setChecked(previewOn);
  }
  preview_->setIcon(Icons::tinted(previewOn ? QStringLiteral("speaker.wave.2.fill") : QStringLiteral("speaker.slash")));

  const std::optional<QString>& error = rack_->lastError();
  banner_->setVisible(error.has_value());
  if (error) bannerText_->setText(*error);

  const bool empty = rack_->slots().empty();
  emptyState_->setVisible(empty);
  cards_->setVisible(!empty);
  footer_->setVisible(!empty);
  showCards();

  {
    const QSignalBlocker blocker(tail_);
    tail_->setCurrentIndex(static_cast<int>(std::ranges::find(tailModes, rack_->tailMode()) - std::begin(tailModes)));
  }
  apply_->setText(model_->selection() ? QStringLiteral("Apply to Selection") : QStringLiteral("Apply to Entire File"));
  apply_->setEnabled(model_->canApplyEffects());
  previewOff_->setVisible(!previewOn && !empty);
}

void EffectsRackView::showCards() {
  const std::vector<EffectSlot>& slots = rack_->slots();
  std::map<quar::Uuid, EffectSlotCard*> shown;
  for (const EffectSlot& slot : slots) {
    const auto found = cardsByID_.find(slot.id);
    if (found == cardsByID_.end()) {
      shown[slot.id] = new EffectSlotCard(rack_, model_, slot.id, cards_);
    } else {
      shown[slot.id] = found->second;
      cardsByID_.erase(found);
    }
  }
  // Later: the change may come from one of the card's own menu actions.
  for (const auto& [id, gone] : cardsByID_) {
    cardsLayout_->removeWidget(gone);
    gone->hide();
    gone->deleteLater();
  }
  cardsByID_ = std::move(shown);
  for (int i = 0; i < static_cast<int>(slots.size()); ++i) {
    EffectSlotCard* card = cardsByID_.at(slots[static_cast<size_t>(i)].id);
    if (cardsLayout_->indexOf(card) == i) continue;
    cardsLayout_->removeWidget(card);
    cardsLayout_->insertWidget(i, card);
  }
}
