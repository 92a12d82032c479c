#include "effects/EffectSlotCard.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

#include "effects/ApplyTarget.h"
#include "effects/AudioUnitSlotEditor.h"
#include "effects/BuiltinEffectEditor.h"
#include "effects/EffectEditor.h"
#include "effects/EffectPresets.h"
#include "effects/EffectsRack.h"
#include "effects/GainReductionMeter.h"
#include "platform/Icons.h"
#include "platform/ObservedRefresh.h"
#include "widgets/ActionMenu.h"
#include "widgets/ActivitySpinner.h"
#include "widgets/ParamSlider.h"
#include "widgets/SlidingPanel.h"
#include "widgets/Theme.h"
#include "widgets/ViewStyle.h"

namespace {

constexpr int padding = 10;
constexpr int cornerRadius = 10;
constexpr int headerSpacing = 8;
constexpr int iconColumn = 18;
constexpr int symbolSize = 16;
constexpr int spinnerSize = 12;

// Whether the expansion change being made animates; every card of the rack follows it, as the
// rack's change refreshes them at once inside setExpandedSlotID.
bool expansionAnimates = false;

// The name with spaces and tabs removed from both ends.
QString trimmedName(const QString& name) {
  const auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
  qsizetype start = 0, end = name.size();
  while (start < end && blank(name[start])) ++start;
  while (end > start && blank(name[end - 1])) --end;
  return name.mid(start, end - start);
}

QIcon chevron(bool pointingDown, const QColor& color) {
  const QPixmap right = Icons::tinted(QStringLiteral("chevron.right"), color).pixmap(QSize(symbolSize, symbolSize), 2.0);
  if (!pointingDown) return QIcon(right);
  QPixmap down = right.transformed(QTransform().rotate(90));
  down.setDevicePixelRatio(right.devicePixelRatio());
  return QIcon(down);
}

} // namespace

EffectSlotCard::EffectSlotCard(EffectsRack* rack, ApplyTarget* model, quar::Uuid slotID, QWidget* parent)
    : QFrame(parent), rack_(rack), model_(model), slotID_(slotID), header_(new QWidget(this)),
      enabled_(new QCheckBox(header_)), icon_(new QLabel(header_)), title_(new QLabel(header_)),
      spinner_(new ActivitySpinner(spinnerSize, header_)), menuButton_(new QToolButton(header_)),
      menu_(new ActionMenu(this)), expand_(new QToolButton(header_)),
      reveal_(new SlidingPanel(Qt::TopEdge, true, this)), body_(new QWidget),
      bodyLayout_(new QVBoxLayout(body_)), observer_(new ObservedRefresh([this] { refresh(); }, this)) {
  setObjectName(QStringLiteral("effectSlotCard"));
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(padding, padding, padding, padding);
  column->setSpacing(padding);
  column->addWidget(header_);
  column->addWidget(reveal_);
  bodyLayout_->setContentsMargins(0, 0, 0, 0);
  body_->setObjectName(QStringLiteral("slotBody"));
  // The editor unrolls from under the header, fading in.
  reveal_->setObjectName(QStringLiteral("slotReveal"));
  reveal_->setContent(body_);
  connect(reveal_, &SlidingPanel::hidden, this, &EffectSlotCard::dropEditor);

  header_->setObjectName(QStringLiteral("slotHeader"));
  header_->installEventFilter(this);
  auto* row = new QHBoxLayout(header_);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(headerSpacing);
  enabled_->setObjectName(QStringLiteral("slotEnabled"));
  connect(enabled_, &QCheckBox::toggled, this, &EffectSlotCard::setSlotEnabled);
  icon_->setObjectName(QStringLiteral("slotIcon"));
  icon_->setFixedWidth(iconColumn);
  icon_->setAlignment(Qt::AlignCenter);
  title_->setObjectName(QStringLiteral("slotTitle"));
  title_->setFont(ViewStyle::font(ViewStyle::TextStyle::headline));
  spinner_->setObjectName(QStringLiteral("slotSpinner"));
  menuButton_->setObjectName(QStringLiteral("slotMenuButton"));
  menuButton_->setAutoRaise(true);
  menuButton_->setIconSize(QSize(symbolSize, symbolSize));
  menuButton_->setIcon(Icons::tinted(QStringLiteral("ellipsis.circle")));
  connect(menuButton_, &QToolButton::clicked, this,
          [this] { menu_->popup(menuButton_->mapToGlobal(QPoint(0, menuButton_->height()))); });
  menu_->setObjectName(QStringLiteral("slotMenu"));
  connect(menu_, &QMenu::aboutToShow, this, &EffectSlotCard::fillMenu);
  expand_->setObjectName(QStringLiteral("slotExpand"));
  expand_->setAutoRaise(true);
  expand_->setIconSize(QSize(symbolSize, symbolSize));
  connect(expand_, &QToolButton::clicked, this, [this] { toggleExpanded(true); });
  row->addWidget(enabled_);
  row->addWidget(icon_);
  row->addWidget(title_);
  row->addWidget(spinner_);
  row->addStretch();
  row->addWidget(menuButton_);
  row->addWidget(expand_);

  observer_->watch(rack_);
  observer_->run();
}

std::optional<EffectSlot> EffectSlotCard::slot() const {
  const auto& slots = rack_->slots();
  const auto found = std::ranges::find(slots, slotID_, &EffectSlot::id);
  if (found == slots.end()) return std::nullopt;
  return *found;
}

void EffectSlotCard::refresh() {
  const std::optional<EffectSlot> current = slot();
  if (!current) return;  // the panel is about to drop the card
  const bool expanded = rack_->expandedSlotID() == slotID_;
  const bool loading = rack_->loadingSlots().contains(slotID_);
  const bool on = current->isEnabled;
  const QPalette& colors = palette();

  {
    const QSignalBlocker blocker(enabled_);
    enabled_->setChecked(on);
  }
  enabled_->setToolTip(on ? QStringLiteral("Bypass") : QStringLiteral("Enable"));
  const QColor iconColor = on ? Theme::waveform.resolved(colors) : Theme::secondaryLabel(colors);
  icon_->setPixmap(Icons::tinted(current->symbol(), iconColor).pixmap(QSize(symbolSize, symbolSize), devicePixelRatioF()));
  title_->setText(current->displayName());
  ViewStyle::setForeground(title_, on ? Theme::label(colors) : Theme::secondaryLabel(colors));
  spinner_->setVisible(loading);
  expand_->setIcon(chevron(expanded, colors.color(QPalette::ButtonText)));

  if (expanded) showEditor(*current, loading);
  reveal_->setShown(expanded, expansionAnimates);
  body_->setEnabled(on);
  if (on) {
    body_->setGraphicsEffect(nullptr);
  } else if (!body_->graphicsEffect()) {
    auto* fade = new QGraphicsOpacityEffect(body_);
    fade->setOpacity(bypassedOpacity);
    body_->setGraphicsEffect(fade);
  }
}

void EffectSlotCard::showEditor(const EffectSlot& slot, bool loading) {
  if (const quar::AudioUnitDescriptor* descriptor = slot.descriptor()) {
    const auto unit = rack_->audioUnits().find(slotID_);
    const std::shared_ptr<quar::AudioUnitEffect> effect =
        unit == rack_->audioUnits().end() ? nullptr : unit->second;
    if (editor_ && editorLoading_ == loading && editorEffect_ == effect.get()) return;
    delete editor_;
    editor_ = new AudioUnitSlotEditor(*descriptor, effect, loading, body_);
    editorLoading_ = loading;
    editorEffect_ = effect.get();
  } else if (!editor_) {
    editor_ = new BuiltinEffectEditor(BuiltinEffectEditor::slotSettings(*rack_, slotID_), model_, slotID_, body_);
  } else {
    return;
  }
  editor_->setObjectName(QStringLiteral("slotEditor"));
  bodyLayout_->addWidget(editor_);
}

void EffectSlotCard::dropEditor() {
  delete editor_;
  editorEffect_ = nullptr;
}

void EffectSlotCard::setSlotEnabled(bool enabled) {
  std::vector<EffectSlot> slots = rack_->slots();
  const auto found = std::ranges::find(slots, slotID_, &EffectSlot::id);
  if (found == slots.end()) return;
  found->isEnabled = enabled;
  rack_->setSlots(std::move(slots));
}

void EffectSlotCard::toggleExpanded(bool animated) {
  const QScopedValueRollback<bool> animating(expansionAnimates, animated);
  const bool expanded = rack_->expandedSlotID() == slotID_;
  rack_->setExpandedSlotID(expanded ? std::nullopt : std::optional(slotID_));
}

void EffectSlotCard::applyPreset(const quar::EffectSettings& preset) {
  std::vector<EffectSlot> slots = rack_->slots();
  const auto found = std::ranges::find(slots, slotID_, &EffectSlot::id);
  if (found == slots.end() || !found->settings()) return;
  quar::EffectSettings settings = preset;
  auto* fromPreset = std::get_if<quar::NoiseReductionSettings>(&settings);
  const auto* current = std::get_if<quar::NoiseReductionSettings>(found->settings());
  if (fromPreset && current) fromPreset->profile = current->profile;
  found->source = std::move(settings);
  rack_->setSlots(std::move(slots));
  // The preset shows at once, also in a value field with the focus.
  for (ParamSlider* slider : findChildren<ParamSlider*>()) slider->dropTyping();
}

void EffectSlotCard::fillMenu() {
  menu_->clear();
  const std::optional<EffectSlot> current = slot();
  if (!current) return;
  if (const quar::EffectSettings* settings = current->settings()) {
    const quar::EffectKind kind = quar::kind(*settings);
    const auto addPresets = [this](const QString& heading, const std::vector<EffectPresets::Preset>& presets) {
      menu_->addSection(heading);
      for (const EffectPresets::Preset& preset : presets)
        connect(menu_->addAction(preset.name), &QAction::triggered, this,
                [this, settings = preset.settings] { applyPreset(settings); });
    };
    addPresets(QStringLiteral("Factory Presets"), EffectPresets::factory(kind));
    if (const std::vector<EffectPresets::Preset> mine = EffectPresets::user(kind); !mine.empty())
      addPresets(QStringLiteral("My Presets"), mine);
    connect(menu_->addAction(QStringLiteral("Save Preset\u2026")), &QAction::triggered, this,
            &EffectSlotCard::promptForPresetName);
    menu_->addSeparator();
  }
  connect(menu_->addAction(QStringLiteral("Move Up")), &QAction::triggered, this, [this] { rack_->move(slotID_, -1); });
  connect(menu_->addAction(QStringLiteral("Move Down")), &QAction::triggered, this, [this] { rack_->move(slotID_, 1); });
  menu_->addSeparator();
  QAction* remove = menu_->addAction(QStringLiteral("Remove"));
  ActionMenu::setDestructive(remove);
  connect(remove, &QAction::triggered, this, [this] { rack_->remove(slotID_); });
}

void EffectSlotCard::promptForPresetName() {
  const std::optional<EffectSlot> current = slot();
  if (!current || prompt_) return;
  auto* dialog = new QDialog(this);
  dialog->setObjectName(QStringLiteral("savePresetPrompt"));
  dialog->setWindowTitle(QStringLiteral("Save Preset"));
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  auto* column = new QVBoxLayout(dialog);
  auto* heading = new QLabel(QStringLiteral("Save Preset"), dialog);
  heading->setFont(ViewStyle::font(ViewStyle::TextStyle::headline));
  auto* message = new QLabel(QStringLiteral("Save the current %1 settings as a preset.").arg(current->displayName()), dialog);
  message->setObjectName(QStringLiteral("savePresetMessage"));
  message->setWordWrap(true);
  auto* name = new QLineEdit(dialog);
  name->setObjectName(QStringLiteral("presetName"));
  name->setPlaceholderText(QStringLiteral("Preset name"));
  auto* buttons = new QDialogButtonBox(dialog);
  buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
  buttons->addButton(QStringLiteral("Save"), QDialogButtonBox::AcceptRole)->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  connect(dialog, &QDialog::accepted, this, [this, name] { savePreset(name->text()); });
  column->addWidget(heading);
  column->addWidget(message);
  column->addWidget(name);
  column->addWidget(buttons);
  prompt_ = dialog;
  dialog->setWindowModality(Qt::WindowModal);
  dialog->open();
}

void EffectSlotCard::savePreset(const QString& typedName) {
  if (trimmedName(typedName).isEmpty()) return;
  const std::optional<EffectSlot> current = slot();
  if (!current || !current->settings()) return;
  if (const std::optional<QString> failure = EffectPresets::save(*current->settings(), typedName))
    rack_->reportError(*failure);
}

void EffectSlotCard::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QColor window = palette().color(QPalette::Window);
  const QColor fill = Theme::isDark(palette()) ? window.lighter(125) : window.darker(104);
  QPainterPath shape;
  shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius, cornerRadius);
  painter.fillPath(shape, fill);
  painter.setPen(QPen(ViewStyle::quaternary(palette()), 1));
  painter.drawPath(shape);
}

void EffectSlotCard::changeEvent(QEvent* event) {
  QFrame::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) observer_->run();
}

bool EffectSlotCard::eventFilter(QObject* watched, QEvent* event) {
  if (watched == header_ && event->type() == QEvent::MouseButtonDblClick) {
    toggleExpanded(false);
    return true;
  }
  return QFrame::eventFilter(watched, event);
}
