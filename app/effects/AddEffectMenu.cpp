#include "effects/AddEffectMenu.h"

#include <QMenu>

#include "dsp/effects/EffectSettings.h"
#include "effects/EffectsRack.h"
#include "platform/Icons.h"

AddEffectMenu::AddEffectMenu(EffectsRack* rack, QWidget* parent) : QToolButton(parent), rack_(rack) {
  setObjectName(QStringLiteral("addEffect"));
  setText(QStringLiteral("Add Effect"));
  setIcon(Icons::tinted(QStringLiteral("plus")));
  setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  setPopupMode(QToolButton::InstantPopup);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  auto* menu = new QMenu(this);
  connect(menu, &QMenu::aboutToShow, this, &AddEffectMenu::rebuild);
  setMenu(menu);
}

void AddEffectMenu::rebuild() {
  QMenu* content = menu();
  qDeleteAll(content->findChildren<QMenu*>(QString(), Qt::FindDirectChildrenOnly));
  content->clear();
  for (const quar::EffectKindCategory category : quar::allCases<quar::EffectKindCategory>()) {
    content->addSection(QUtf8StringView(quar::rawValue(category)).toString());
    for (const quar::EffectKind kind : quar::allCases<quar::EffectKind>()) {
      if (quar::category(kind) != category) continue;
      QAction* entry = content->addAction(Icons::tinted(QUtf8StringView(quar::symbol(kind)).toString()), QUtf8StringView(quar::displayName(kind)).toString());
      connect(entry, &QAction::triggered, rack_, [rack = rack_, kind] { rack->add(quar::defaultSettings(kind)); });
    }
  }
  content->addSeparator();
  QMenu* plugins = content->addMenu(QStringLiteral("LV2 Plug-ins"));
  fillPluginMenu(plugins, AudioUnitLibrary::byManufacturer(),
                 [rack = rack_](const quar::AudioUnitDescriptor& descriptor) { rack->addAudioUnit(descriptor); });
}

void AddEffectMenu::fillPluginMenu(QMenu* menu, const std::vector<AudioUnitLibrary::Group>& groups,
                                   const std::function<void(const quar::AudioUnitDescriptor&)>& choose) {
  if (groups.empty()) {
    menu->addAction(QStringLiteral("No LV2 plug-in effects found"))->setEnabled(false);
    return;
  }
  for (const auto& [maker, descriptors] : groups) {
    QMenu* group = menu->addMenu(QString::fromStdString(maker));
    for (const quar::AudioUnitDescriptor& descriptor : descriptors) {
      QAction* entry = group->addAction(QString::fromStdString(descriptor.name));
      QObject::connect(entry, &QAction::triggered, menu, [choose, descriptor] { choose(descriptor); });
    }
  }
}
