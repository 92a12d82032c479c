#include "effects/AudioUnitSlotEditor.h"

#include <QHBoxLayout>
#include <QMenu>
#include <QVBoxLayout>

#include "effects/AudioUnitParameterList.h"
#include "effects/AudioUnitWindowController.h"
#include "widgets/ViewStyle.h"
#include "effects/SymbolButton.h"
#include "widgets/ToneLabel.h"

AudioUnitSlotEditor::AudioUnitSlotEditor(const quar::AudioUnitDescriptor& descriptor,
                                         std::shared_ptr<quar::AudioUnitEffect> effect, bool loading, QWidget* parent)
    : QWidget(parent) {
  setObjectName(QStringLiteral("audioUnitSlotEditor"));
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(ViewStyle::rowSpacing);
  auto* maker = new ToneLabel(makerLine(descriptor), ViewStyle::captionSize, ToneLabel::Tone::secondary, this);
  maker->setObjectName(QStringLiteral("makerLine"));
  column->addWidget(maker);

  if (loading) {
    auto* text = new ToneLabel(QStringLiteral("Loading plug-in\u2026"), ViewStyle::calloutSize,
                               ToneLabel::Tone::secondary, this);
    text->setObjectName(QStringLiteral("loadingPlugin"));
    column->addWidget(text);
    return;
  }
  if (!effect) return;

  auto* row = new QHBoxLayout;
  row->setSpacing(ViewStyle::rowSpacing);
  auto* open = new SymbolButton(QStringLiteral("macwindow"), 14, QStringLiteral("Open Plug-in Editor"), this);
  open->setObjectName(QStringLiteral("openPluginEditor"));
  connect(open, &QToolButton::clicked, this, [effect] { AudioUnitWindowController::show(effect); });
  row->addWidget(open);
  if (const std::vector<std::string> names = effect->presetNames(); !names.empty()) {
    auto* presets = new QToolButton(this);
    presets->setObjectName(QStringLiteral("pluginPresets"));
    presets->setText(QStringLiteral("Presets"));
    presets->setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(presets);
    for (const std::string& name : names)
      connect(menu->addAction(QString::fromStdString(name)), &QAction::triggered, this,
              [effect, name] { effect->selectPreset(name); });
    presets->setMenu(menu);
    row->addWidget(presets);
  }
  row->addStretch();
  column->addLayout(row);
  column->addWidget(new AudioUnitParameterList(effect, this));
}

QString AudioUnitSlotEditor::versionText(uint32_t version) {
  return QStringLiteral("%1.%2.%3").arg(version >> 16).arg((version >> 8) & 255).arg(version & 255);
}

QString AudioUnitSlotEditor::makerLine(const quar::AudioUnitDescriptor& descriptor) {
  return QString::fromStdString(descriptor.manufacturerName) + QStringLiteral(" \u00B7 version ") +
         versionText(descriptor.version);
}
