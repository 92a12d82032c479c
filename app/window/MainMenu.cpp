#include "window/MainMenu.h"

#include <QAction>
#include <QFileInfo>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include <set>

#include "dsp/effects/EffectKind.h"
#include "platform/CommandRouter.h"
#include "platform/Document.h"
#include "platform/DocumentController.h"
#include "platform/Icons.h"
#include "platform/WindowController.h"

using Kind = MainMenu::Item::Kind;
using MainMenu::Item;

namespace {

Item item(const QString& title, const QString& command, const QString& key = {}, int tag = 0) {
  return {Kind::item, title, command, QKeySequence(key, QKeySequence::PortableText), tag, {}, {}};
}

Item withSymbol(Item entry, const QString& symbol) {
  entry.symbol = symbol;
  return entry;
}

Item separator() { return {Kind::separator, {}, {}, {}, 0, {}, {}}; }

Item submenu(const QString& title, std::vector<Item> items, Kind kind = Kind::submenu) {
  return {kind, title, {}, {}, 0, {}, std::move(items)};
}

std::vector<Item> appItems() {
  return {
      item(QStringLiteral("About Quarnel"), QStringLiteral("orderFrontStandardAboutPanel")),
      separator(),
      submenu(QStringLiteral("Services"), {}),
      separator(),
      item(QStringLiteral("Hide Quarnel"), QStringLiteral("hide"), QStringLiteral("Ctrl+H")),
      item(QStringLiteral("Hide Others"), QStringLiteral("hideOtherApplications"), QStringLiteral("Ctrl+Alt+H")),
      item(QStringLiteral("Show All"), QStringLiteral("unhideAllApplications")),
      separator(),
      item(QStringLiteral("Quit Quarnel"), QStringLiteral("terminate"), QStringLiteral("Ctrl+Q")),
  };
}

std::vector<Item> fileItems() {
  return {
      item(QStringLiteral("New"), QStringLiteral("newDocument"), QStringLiteral("Ctrl+N")),
      item(QStringLiteral("New Recording"), QStringLiteral("newRecording"), QStringLiteral("Ctrl+Alt+N")),
      item(QStringLiteral("Open\u2026"), QStringLiteral("openDocument"), QStringLiteral("Ctrl+O")),
      submenu(QStringLiteral("Open Recent"), {item(QStringLiteral("Clear Menu"), QStringLiteral("clearRecentDocuments"))},
              Kind::recentDocuments),
      separator(),
      item(QStringLiteral("Close"), QStringLiteral("performClose"), QStringLiteral("Ctrl+W")),
      item(QStringLiteral("Save"), QStringLiteral("saveDocument"), QStringLiteral("Ctrl+S")),
      item(QStringLiteral("Save As\u2026"), QStringLiteral("saveDocumentAs"), QStringLiteral("Ctrl+Shift+S")),
      item(QStringLiteral("Export Selection\u2026"), QStringLiteral("exportSelection"), QStringLiteral("Ctrl+Shift+E")),
      item(QStringLiteral("Revert to Saved"), QStringLiteral("revertDocumentToSaved")),
      separator(),
      item(QStringLiteral("Show Recordings Folder"), QStringLiteral("showRecordingsFolder")),
  };
}

std::vector<Item> editItems() {
  return {
      item(QStringLiteral("Undo"), QStringLiteral("undo"), QStringLiteral("Ctrl+Z")),
      item(QStringLiteral("Redo"), QStringLiteral("redo"), QStringLiteral("Ctrl+Shift+Z")),
      separator(),
      item(QStringLiteral("Cut"), QStringLiteral("cut"), QStringLiteral("Ctrl+X")),
      item(QStringLiteral("Copy"), QStringLiteral("copy"), QStringLiteral("Ctrl+C")),
      item(QStringLiteral("Paste"), QStringLiteral("paste"), QStringLiteral("Ctrl+V")),
      item(QStringLiteral("Paste Mix"), QStringLiteral("pasteMix"), QStringLiteral("Ctrl+Alt+V")),
      item(QStringLiteral("Paste as New Document"), QStringLiteral("pasteAsNew"), QStringLiteral("Ctrl+Alt+Shift+V")),
      item(QStringLiteral("Delete"), QStringLiteral("delete")),
      separator(),
      item(QStringLiteral("Select All"), QStringLiteral("selectAll"), QStringLiteral("Ctrl+A")),
      item(QStringLiteral("Select None"), QStringLiteral("selectNone"), QStringLiteral("Ctrl+Shift+A")),
      submenu(QStringLiteral("Select Channel"),
              {
                  item(QStringLiteral("All Channels"), QStringLiteral("selectChannel"), {}, -1),
                  item(QStringLiteral("Left / Channel 1"), QStringLiteral("selectChannel"), {}, 0),
                  item(QStringLiteral("Right / Channel 2"), QStringLiteral("selectChannel"), {}, 1),
              }),
      separator(),
      item(QStringLiteral("Trim to Selection"), QStringLiteral("trimToSelection"), QStringLiteral("Ctrl+T")),
      item(QStringLiteral("Insert Silence\u2026"), QStringLiteral("insertSilence"), QStringLiteral("Ctrl+Shift+I")),
      separator(),
      item(QStringLiteral("Snap to Zero Crossings"), QStringLiteral("toggleSnapToZeroCrossings"), QStringLiteral("Ctrl+Alt+Z")),
  };
}

std::vector<Item> viewItems() {
  return {
      item(QStringLiteral("Zoom In"), QStringLiteral("zoomIn"), QStringLiteral("Ctrl+=")),
      item(QStringLiteral("Zoom Out"), QStringLiteral("zoomOut"), QStringLiteral("Ctrl+-")),
      item(QStringLiteral("Zoom to Fit"), QStringLiteral("zoomToFit"), QStringLiteral("Ctrl+0")),
      item(QStringLiteral("Zoom to Selection"), QStringLiteral("zoomToSelection"), QStringLiteral("Ctrl+E")),
      separator(),
      item(QStringLiteral("Increase Amplitude Zoom"), QStringLiteral("increaseAmplitudeZoom"), QStringLiteral("Ctrl+Alt+=")),
      item(QStringLiteral("Decrease Amplitude Zoom"), QStringLiteral("decreaseAmplitudeZoom"), QStringLiteral("Ctrl+Alt+-")),
      separator(),
      item(QStringLiteral("Show Inspector"), QStringLiteral("toggleInspector"), QStringLiteral("Ctrl+Alt+I")),
      item(QStringLiteral("Loudness"), QStringLiteral("showInspectorTab"), QStringLiteral("Ctrl+Alt+1"), 0),
      item(QStringLiteral("Spectrum"), QStringLiteral("showInspectorTab"), QStringLiteral("Ctrl+Alt+2"), 1),
      item(QStringLiteral("Info"), QStringLiteral("showInspectorTab"), QStringLiteral("Ctrl+Alt+3"), 2),
      item(QStringLiteral("Markers"), QStringLiteral("showInspectorTab"), QStringLiteral("Ctrl+Alt+4"), 3),
      item(QStringLiteral("Effects Rack"), QStringLiteral("showInspectorTab"), QStringLiteral("Ctrl+Alt+5"), 4),
      separator(),
      item(QStringLiteral("Show Loudness Lane"), QStringLiteral("toggleLoudnessLane"), QStringLiteral("Ctrl+Alt+L")),
      item(QStringLiteral("Show Bar Grid"), QStringLiteral("toggleGrid"), QStringLiteral("Ctrl+Alt+G")),
      item(QStringLiteral("Detect Tempo"), QStringLiteral("detectTempo"), QStringLiteral("Ctrl+Alt+B")),
      item(QStringLiteral("Tap Tempo"), QStringLiteral("tapTempo"), QStringLiteral("Meta+Alt+T")),
      item(QStringLiteral("Set Bar 1 at Cursor"), QStringLiteral("setDownbeatAtCursor"), QStringLiteral("Meta+Alt+1")),
      item(QStringLiteral("Zoom Gain Envelope In"), QStringLiteral("zoomEnvelope"), QStringLiteral("Ctrl+Alt+]"), 1),
      item(QStringLiteral("Zoom Gain Envelope Out"), QStringLiteral("zoomEnvelope"), QStringLiteral("Ctrl+Alt+["), -1),
      submenu(QStringLiteral("Time Format"),
              {
                  item(QStringLiteral("Hours:Minutes:Seconds"), QStringLiteral("setTimeFormat"), {}, 0),
                  item(QStringLiteral("Seconds"), QStringLiteral("setTimeFormat"), {}, 1),
                  item(QStringLiteral("Samples"), QStringLiteral("setTimeFormat"), {}, 2),
              }),
      separator(),
      item(QStringLiteral("Enter Full Screen"), QStringLiteral("toggleFullScreen"), QStringLiteral("Meta+Ctrl+F")),
  };
}

std::vector<Item> transportItems() {
  return {
      item(QStringLiteral("Play / Pause"), QStringLiteral("togglePlayback"), QStringLiteral("Ctrl+Alt+P")),
      item(QStringLiteral("Play Selection"), QStringLiteral("playSelection"), QStringLiteral("Ctrl+Alt+Shift+P")),
      item(QStringLiteral("Stop"), QStringLiteral("stopPlayback"), QStringLiteral("Ctrl+.")),
      item(QStringLiteral("Loop Playback"), QStringLiteral("toggleLoop"), QStringLiteral("Ctrl+L")),
      withSymbol(item(QStringLiteral("Record"), QStringLiteral("toggleRecording"), QStringLiteral("Ctrl+R")),
                 QStringLiteral("record.circle")),
      separator(),
      item(QStringLiteral("Go to Start"), QStringLiteral("goToStart"), QStringLiteral("Ctrl+Up")),
      item(QStringLiteral("Go to End"), QStringLiteral("goToEnd"), QStringLiteral("Ctrl+Down")),
      separator(),
      item(QStringLiteral("Add Marker"), QStringLiteral("addMarker"), QStringLiteral("Meta+M")),
      item(QStringLiteral("Next Marker"), QStringLiteral("nextMarker"), QStringLiteral("Ctrl+]")),
      item(QStringLiteral("Previous Marker"), QStringLiteral("previousMarker"), QStringLiteral("Ctrl+[")),
  };
}

std::vector<Item> processItems() {
  return {
      item(QStringLiteral("Gain\u2026"), QStringLiteral("showGain"), QStringLiteral("Ctrl+Alt+G")),
      item(QStringLiteral("Normalize Peak\u2026"), QStringLiteral("showNormalize"), QStringLiteral("Ctrl+Alt+N")),
      item(QStringLiteral("Loudness\u2026"), QStringLiteral("showLoudness"), QStringLiteral("Ctrl+Shift+L")),
      separator(),
      item(QStringLiteral("Fade In"), QStringLiteral("fadeIn"), QStringLiteral("Meta+Ctrl+I")),
      item(QStringLiteral("Fade Out"), QStringLiteral("fadeOut"), QStringLiteral("Meta+Ctrl+O")),
      item(QStringLiteral("Fade\u2026"), QStringLiteral("showFade"), QStringLiteral("Ctrl+Alt+F")),
      separator(),
      item(QStringLiteral("Silence"), QStringLiteral("silenceSelection"), QStringLiteral("Ctrl+Alt+K")),
      item(QStringLiteral("Reverse"), QStringLiteral("reverseAudio")),
      item(QStringLiteral("Invert Polarity"), QStringLiteral("invertPolarity")),
      item(QStringLiteral("Remove DC Offset"), QStringLiteral("removeDCOffset")),
      separator(),
      item(QStringLiteral("Swap Channels"), QStringLiteral("swapChannels")),
      item(QStringLiteral("Convert to Mono"), QStringLiteral("convertToMono")),
      item(QStringLiteral("Convert to Stereo"), QStringLiteral("convertToStereo")),
      item(QStringLiteral("Change Sample Rate\u2026"), QStringLiteral("changeSampleRate")),
      item(QStringLiteral("Time & Pitch\u2026"), QStringLiteral("showTimePitch"), QStringLiteral("Ctrl+Alt+T")),
      separator(),
      item(QStringLiteral("Apply Gain Envelope"), QStringLiteral("applyGainEnvelope")),
      item(QStringLiteral("Clear Gain Envelope"), QStringLiteral("clearGainEnvelope")),
  };
}

std::vector<Item> effectsItems() {
  std::vector<Item> items;
  const auto& kinds = quar::allCases<quar::EffectKind>();
  for (const quar::EffectKindCategory category : quar::allCases<quar::EffectKindCategory>()) {
    items.push_back({Kind::section, QString::fromUtf8(quar::rawValue(category)), {}, {}, 0, {}, {}});
    for (size_t index = 0; index < kinds.size(); ++index)
      if (quar::category(kinds[index]) == category)
        items.push_back(withSymbol(item(QString::fromUtf8(quar::displayName(kinds[index])), QStringLiteral("addEffect"),
                                        {}, static_cast<int>(index)),
                                   QString::fromUtf8(quar::symbol(kinds[index]))));
  }
  items.push_back(separator());
  items.push_back(withSymbol(submenu(QStringLiteral("LV2 Plug-ins"), {}, Kind::plugins), QStringLiteral("puzzlepiece.extension")));
  items.push_back(separator());
  items.push_back(item(QStringLiteral("Apply Effects Rack"), QStringLiteral("applyEffectsRack"), QStringLiteral("Ctrl+Shift+Return")));
  items.push_back(item(QStringLiteral("Preview Effects"), QStringLiteral("toggleEffectsPreview")));
  items.push_back(item(QStringLiteral("Clear Effects Rack"), QStringLiteral("clearEffectsRack")));
  return items;
}

std::vector<Item> windowItems() {
  return {
      item(QStringLiteral("Minimize"), QStringLiteral("performMiniaturize"), QStringLiteral("Ctrl+M")),
      item(QStringLiteral("Zoom"), QStringLiteral("performZoom")),
      separator(),
      item(QStringLiteral("Bring All to Front"), QStringLiteral("arrangeInFront")),
      {Kind::windows, {}, {}, {}, 0, {}, {}},
  };
}

QString escaped(QString title) { return title.replace(QLatin1Char('&'), QStringLiteral("&&")); }

QAction* addCommand(QMenu& menu, const QString& title, const QString& command, int tag = 0) {
  auto* action = new QAction(&menu);
  MenuItem::setCommand(*action, command, tag);
  MenuItem::setTitle(*action, title);
  menu.addAction(action);
  return action;
}

// The recent files, newest first, above a separator and the submenu's own items.
void fillRecentDocuments(QMenu& menu) {
  for (QAction* action : menu.actions())
    if (MenuItem::command(*action) == QLatin1String("openRecentDocument") || action->isSeparator()) delete action;
  DocumentController* controller = DocumentController::shared();
  const QList<QUrl> urls = controller ? controller->recentDocumentUrls() : QList<QUrl>();
  if (urls.isEmpty()) return;
  QAction* first = menu.actions().value(0);
  for (const QUrl& url : urls) {
    auto* action = new QAction(&menu);
    MenuItem::setCommand(*action, QStringLiteral("openRecentDocument"));
    MenuItem::setTitle(*action, QFileInfo(url.toLocalFile()).fileName());
    action->setData(url);
    menu.insertAction(first, action);
  }
  menu.insertSeparator(first);
}

// The windows of the open documents.
std::vector<QWidget*> documentWindows() {
  std::vector<QWidget*> windows;
  if (const DocumentController* controller = DocumentController::shared())
    for (const WindowController* window : controller->windowControllers()) windows.push_back(window->window());
  return windows;
}

void addItems(QMenu& menu, const std::vector<Item>& items, std::set<QKeySequence>& keysTaken) {
  for (const Item& entry : items) {
    switch (entry.kind) {
    case Kind::separator: menu.addSeparator(); break;
    case Kind::windows:
      QObject::connect(&menu, &QMenu::aboutToShow, &menu,
                       [&menu] { MainMenu::fillWindowList(menu, documentWindows()); });
      break;
    case Kind::section: menu.addSection(entry.title); break;
    case Kind::submenu:
    case Kind::recentDocuments:
    case Kind::plugins: {
      QMenu* submenu = menu.addMenu(Icons::tinted(entry.symbol), escaped(entry.title));
      addItems(*submenu, entry.items, keysTaken);
      if (entry.kind == Kind::recentDocuments)
        QObject::connect(submenu, &QMenu::aboutToShow, submenu, [submenu] { fillRecentDocuments(*submenu); });
      else if (entry.kind == Kind::plugins)
        QObject::connect(submenu, &QMenu::aboutToShow, submenu, [submenu] {
          if (submenu->actions().isEmpty()) MainMenu::fillAudioUnitMenu(*submenu, AudioUnitLibrary::byManufacturer());
        });
      else
        submenu->menuAction()->setEnabled(!entry.items.empty());
      break;
    }
    case Kind::item: {
      QAction* action = addCommand(menu, entry.title, entry.command, entry.tag);
      if (!entry.symbol.isEmpty()) action->setIcon(Icons::tinted(entry.symbol));
      // A key reaches only the first item that has it: a later item shows none.
      if (!entry.key.isEmpty() && keysTaken.insert(entry.key).second) action->setShortcut(entry.key);
      break;
    }
    }
  }
}

} // namespace

namespace MainMenu {

const std::vector<Menu>& table() {
  static const std::vector<Menu> menus{
      {QStringLiteral("Quarnel"), appItems()},
      {QStringLiteral("File"), fileItems()},
      {QStringLiteral("Edit"), editItems()},
      {QStringLiteral("View"), viewItems()},
      {QStringLiteral("Transport"), transportItems()},
      {QStringLiteral("Process"), processItems()},
      {QStringLiteral("Effects"), effectsItems()},
      {QStringLiteral("Window"), windowItems()},
      {QStringLiteral("Help"), {item(QStringLiteral("Quarnel Shortcuts"), QStringLiteral("showHelp"), QStringLiteral("Ctrl+?"))}},
  };
  return menus;
}

void build(QMenuBar* bar) {
  std::set<QKeySequence> keysTaken;
  for (const Menu& menu : table()) addItems(*bar->addMenu(escaped(menu.title)), menu.items, keysTaken);
}

void fillAudioUnitMenu(QMenu& menu, const std::vector<AudioUnitLibrary::Group>& groups) {
  if (groups.empty()) {
    menu.addAction(QStringLiteral("No LV2 plug-in effects installed"))->setEnabled(false);
    return;
  }
  for (const AudioUnitLibrary::Group& group : groups) {
    QMenu* manufacturer = menu.addMenu(escaped(QString::fromStdString(group.manufacturer)));
    for (const quar::AudioUnitDescriptor& descriptor : group.descriptors)
      addCommand(*manufacturer, QString::fromStdString(descriptor.name), QStringLiteral("addAudioUnitEffect"))
          ->setData(QString::fromStdString(descriptor.id()));
  }
}

void fillWindowList(QMenu& menu, const std::vector<QWidget*>& windows) {
  const QString listed = QStringLiteral("makeKeyAndOrderFront");
  const QString separatorName = QStringLiteral("windowListSeparator");
  for (QAction* action : menu.actions())
    if (MenuItem::command(*action) == listed || action->objectName() == separatorName) delete action;
  if (windows.empty()) return;
  menu.addSeparator()->setObjectName(separatorName);
  for (QWidget* window : windows) {
    // The title as the title bar shows it: "[*]" marks the edited state.
    QString title = window->windowTitle();
    title.replace(QStringLiteral("[*]"), window->isWindowModified() ? QStringLiteral("*") : QString());
    addCommand(menu, title, listed)->setData(QVariant::fromValue<QObject*>(window));
  }
}

} // namespace MainMenu
