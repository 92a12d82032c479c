// The menu table: every item of the menu bar in menu order, each command with the handlers and
// enabled rules of the links that take it.
#include "window/MainMenu.h"

#include <QApplication>
#include <QMainWindow>

#include <algorithm>

#include "document/AudioDocument.h"
#include "dsp/effects/EffectKind.h"
#include "editor/EditorModel.h"
#include "effects/EffectsRack.h"
#include "platform/DocumentController.h"
#include "recording/Recorder.h"
#include "window/EditorWindowController.h"

using Kind = MainMenu::Item::Kind;
using MainMenu::Item;
using Argument = CommandArgument;
using Context = EditorCommandContext;
using Window = EditorWindowController;

namespace {

// A command that no link takes.
Item command(const QString& title, const QString& identifier, const QString& key = {}) {
  Item entry;
  entry.command.identifier = identifier;
  entry.command.title = title;
  entry.command.key = QKeySequence(key, QKeySequence::PortableText);
  return entry;
}

// A command that the editor window carries out.
Item editor(const QString& title, const QString& identifier, const QString& key, EditorHandler::Rule enabled,
            EditorHandler::Perform perform, Argument argument = {}) {
  Item entry = command(title, identifier, key);
  entry.command.argument = std::move(argument);
  entry.command.editor = {perform, enabled};
  return entry;
}

// A command that the window's document carries out.
Item document(const QString& title, const QString& identifier, const QString& key, DocumentHandler::Rule enabled,
              DocumentHandler::Perform perform) {
  Item entry = command(title, identifier, key);
  entry.command.document = {perform, enabled};
  return entry;
}

// A command that the application carries out.
Item application(const QString& title, const QString& identifier, const QString& key, ApplicationHandler::Rule enabled,
                 ApplicationHandler::Perform perform) {
  Item entry = command(title, identifier, key);
  entry.command.application = {perform, enabled};
  return entry;
}

Item withSymbol(Item entry, const QString& symbol) {
  (entry.kind == Kind::item ? entry.command.symbol : entry.symbol) = symbol;
  return entry;
}

Item separator() { return {Kind::separator, {}, {}, {}, {}}; }

Item submenu(const QString& title, std::vector<Item> items, Kind kind = Kind::submenu) {
  return {kind, {}, title, {}, std::move(items)};
}

// The rules that many commands share.
CommandState always(const Context&, const Argument&) { return {true}; }
CommandState always(const Application&, const Argument&) { return {true}; }
CommandState withAudio(const Context& c, const Argument&) { return {c.hasAudio}; }
CommandState idleWithAudio(const Context& c, const Argument&) { return {c.hasAudio && c.idle}; }
CommandState idleWithSelection(const Context& c, const Argument&) { return {c.idle && c.hasSelection}; }
CommandState idleWithClipboard(const Context& c, const Argument&) { return {c.idle && c.clipboardHasAudio}; }
CommandState idleWithEnvelope(const Context& c, const Argument&) { return {c.idle && !c.model.envelopes().isEmpty()}; }
CommandState tempoFree(const Context& c, const Argument&) { return {c.hasAudio && !c.model.tempo().isDetectingTempo()}; }
// The document is not saved or replaced while a job runs or a take is being recorded.
CommandState documentIdle(const AudioDocument& d, const Argument&) { return {!d.isBusy()}; }

CommandState channelChoice(const Context& c, const Argument& argument) {
  const int channel = EditorCommands::number(argument, -1);
  const std::set<int>& active = c.model.activeChannels();
  if (channel < 0) return {c.hasAudio && channel < c.channels, {}, active == EditorModel::allChannels(c.channels)};
  return {c.hasAudio && channel < c.channels && c.channels > 1, {}, active == std::set<int>{channel} && c.channels > 1};
}

void selectChannel(Window& w, const Argument& argument) {
  if (const int* channel = std::get_if<int>(&argument)) w.selectChannel(*channel);
}

// The open document window that a Window menu item's argument names; null once it is gone.
QWidget* listedWindow(const Argument& argument) {
  const auto* listed = std::get_if<QPointer<QObject>>(&argument);
  const QObject* wanted = listed ? listed->data() : nullptr;
  if (!wanted) return nullptr;
  const std::vector<QWidget*> windows = MainMenu::documentWindows();
  const auto it = std::find(windows.begin(), windows.end(), wanted);
  return it == windows.end() ? nullptr : *it;
}

std::vector<Item> appItems() {
  return {
      application(QStringLiteral("About Quarnel"), QStringLiteral("showAbout"), {}, always,
                  [](Application& a, const Argument&) { a.showAbout(); }),
      separator(),
      submenu(QStringLiteral("Services"), {}),
      separator(),
      // The desktop has no hiding of applications: their windows go to the task bar instead.
      application(QStringLiteral("Hide Quarnel"), QStringLiteral("hide"), QStringLiteral("Ctrl+H"), always,
                  [](Application&, const Argument&) {
                    for (QWidget* window : MainMenu::visibleWindows()) window->showMinimized();
                  }),
      command(QStringLiteral("Hide Others"), QStringLiteral("hideOthers"), QStringLiteral("Ctrl+Alt+H")),
      application(
          QStringLiteral("Show All"), QStringLiteral("showAll"), {},
          [](const Application&, const Argument&) {
            const std::vector<QWidget*> windows = MainMenu::visibleWindows();
            return CommandState{std::any_of(windows.begin(), windows.end(), [](const QWidget* w) { return w->isMinimized(); })};
          },
          [](Application&, const Argument&) {
            for (QWidget* window : MainMenu::visibleWindows())
              if (window->isMinimized()) window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
          }),
      separator(),
      application(QStringLiteral("Quit Quarnel"), QStringLiteral("quit"), QStringLiteral("Ctrl+Q"), always,
                  [](Application& a, const Argument&) { a.quit(); }),
  };
}

std::vector<Item> fileItems() {
  // New Recording: the editor window's in a document window, the application's in the
  // no-document window.
  Item newRecording = editor(QStringLiteral("New Recording"), QStringLiteral("newRecording"), QStringLiteral("Ctrl+Alt+N"),
                             always, [](Window&, const Argument&) { Window::openNewRecording(); });
  newRecording.command.application = {[](Application&, const Argument&) { Window::openNewRecording(); }, always};
  // Its items, one per recent file, send the file.
  Item recent = submenu(QStringLiteral("Open Recent"),
                        {application(
                            QStringLiteral("Clear Menu"), QStringLiteral("clearRecentDocuments"), {},
                            [](const Application&, const Argument&) {
                              const DocumentController* controller = DocumentController::shared();
                              return CommandState{controller && !controller->recentDocumentUrls().isEmpty()};
                            },
                            [](Application&, const Argument&) {
                              if (DocumentController* controller = DocumentController::shared())
                                controller->clearRecentDocuments();
                            })},
                        Kind::recentDocuments);
  recent.command = application({}, QStringLiteral("openRecentDocument"), {}, always, [](Application&, const Argument& argument) {
                     const QUrl* url = std::get_if<QUrl>(&argument);
                     DocumentController* controller = DocumentController::shared();
                     if (url && controller) controller->openDocumentWithContentsOfUrl(*url, true);
                   }).command;
  return {
      application(QStringLiteral("New"), QStringLiteral("newDocument"), QStringLiteral("Ctrl+N"), always,
                  [](Application&, const Argument&) {
                    if (DocumentController* controller = DocumentController::shared()) controller->newDocument();
                  }),
      std::move(newRecording),
      application(QStringLiteral("Open\u2026"), QStringLiteral("openDocument"), QStringLiteral("Ctrl+O"), always,
                  [](Application&, const Argument&) {
                    if (DocumentController* controller = DocumentController::shared()) controller->openDocument();
                  }),
      std::move(recent),
      separator(),
      editor(QStringLiteral("Close"), QStringLiteral("closeWindow"), QStringLiteral("Ctrl+W"), always,
             [](Window& w, const Argument&) { w.window()->close(); }),
      document(QStringLiteral("Save"), QStringLiteral("saveDocument"), QStringLiteral("Ctrl+S"), documentIdle,
               [](AudioDocument& d, const Argument&) { d.saveDocument(); }),
      document(QStringLiteral("Save As\u2026"), QStringLiteral("saveDocumentAs"), QStringLiteral("Ctrl+Shift+S"),
               documentIdle, [](AudioDocument& d, const Argument&) { d.saveDocumentAs(); }),
      editor(QStringLiteral("Export Selection\u2026"), QStringLiteral("exportSelection"), QStringLiteral("Ctrl+Shift+E"),
             idleWithAudio, [](Window& w, const Argument&) { w.audioDocument().exportSelection(); }),
      // Only with a file and changes since it was saved.
      document(
          QStringLiteral("Revert to Saved"), QStringLiteral("revertDocumentToSaved"), {},
          [](const AudioDocument& d, const Argument&) {
            return CommandState{!d.isBusy() && !d.fileUrl().isEmpty() && d.isEdited()};
          },
          [](AudioDocument& d, const Argument&) { d.revertDocumentToSaved(); }),
      separator(),
      editor(QStringLiteral("Show Recordings Folder"), QStringLiteral("showRecordingsFolder"), {}, always,
             [](Window&, const Argument&) { Window::showRecordingsFolder(); }),
  };
}

std::vector<Item> editItems() {
  return {
      editor(
          QStringLiteral("Undo"), QStringLiteral("undo"), QStringLiteral("Ctrl+Z"),
          [](const Context& c, const Argument&) { return CommandState{c.idle && c.undo.canUndo(), c.undo.undoMenuItemTitle()}; },
          [](Window& w, const Argument&) { w.model().undo(); }),
      editor(
          QStringLiteral("Redo"), QStringLiteral("redo"), QStringLiteral("Ctrl+Shift+Z"),
          [](const Context& c, const Argument&) { return CommandState{c.idle && c.undo.canRedo(), c.undo.redoMenuItemTitle()}; },
          [](Window& w, const Argument&) { w.model().redo(); }),
      separator(),
      editor(QStringLiteral("Cut"), QStringLiteral("cut"), QStringLiteral("Ctrl+X"), idleWithSelection,
             [](Window& w, const Argument&) { w.model().cut(); }),
      editor(QStringLiteral("Copy"), QStringLiteral("copy"), QStringLiteral("Ctrl+C"), idleWithSelection,
             [](Window& w, const Argument&) { w.model().copy(); }),
      editor(QStringLiteral("Paste"), QStringLiteral("paste"), QStringLiteral("Ctrl+V"), idleWithClipboard,
             [](Window& w, const Argument&) { w.model().paste(); }),
      editor(
          QStringLiteral("Paste Mix"), QStringLiteral("pasteMix"), QStringLiteral("Ctrl+Alt+V"),
          [](const Context& c, const Argument&) { return CommandState{c.idle && c.clipboardHasAudio && c.hasAudio}; },
          [](Window& w, const Argument&) { w.model().pasteMix(); }),
      editor(QStringLiteral("Paste as New Document"), QStringLiteral("pasteAsNew"), QStringLiteral("Ctrl+Alt+Shift+V"),
             idleWithClipboard, [](Window& w, const Argument&) { w.pasteAsNew(); }),
      editor(QStringLiteral("Delete"), QStringLiteral("delete"), {}, idleWithSelection,
             [](Window& w, const Argument&) { w.model().deleteSelection(QStringLiteral("Delete")); }),
      separator(),
      editor(QStringLiteral("Select All"), QStringLiteral("selectAll"), QStringLiteral("Ctrl+A"), withAudio,
             [](Window& w, const Argument&) { w.model().selectAll(); }),
      editor(
          QStringLiteral("Select None"), QStringLiteral("selectNone"), QStringLiteral("Ctrl+Shift+A"),
          [](const Context& c, const Argument&) { return CommandState{c.hasSelection}; },
          [](Window& w, const Argument&) { w.model().selectNone(); }),
      submenu(QStringLiteral("Select Channel"),
              {
                  editor(QStringLiteral("All Channels"), QStringLiteral("selectChannel"), {}, channelChoice, selectChannel, -1),
                  editor(QStringLiteral("Left / Channel 1"), QStringLiteral("selectChannel"), {}, channelChoice, selectChannel, 0),
                  editor(QStringLiteral("Right / Channel 2"), QStringLiteral("selectChannel"), {}, channelChoice, selectChannel, 1),
              }),
      separator(),
      editor(QStringLiteral("Trim to Selection"), QStringLiteral("trimToSelection"), QStringLiteral("Ctrl+T"),
             idleWithSelection, [](Window& w, const Argument&) { w.model().trimToSelection(); }),
      editor(QStringLiteral("Insert Silence\u2026"), QStringLiteral("insertSilence"), QStringLiteral("Ctrl+Shift+I"),
             idleWithAudio, [](Window& w, const Argument&) { w.presentSheet(Window::Sheet::insertSilence); }),
      separator(),
      editor(
          QStringLiteral("Snap to Zero Crossings"), QStringLiteral("toggleSnapToZeroCrossings"), QStringLiteral("Ctrl+Alt+Z"),
          [](const Context& c, const Argument&) { return CommandState{true, {}, c.model.snapToZeroCrossings()}; },
          [](Window& w, const Argument&) { w.model().setSnapToZeroCrossings(!w.model().snapToZeroCrossings()); }),
  };
}

CommandState inspectorTabChoice(const Context& c, const Argument& argument) {
  const ViewSettings& settings = c.model.viewSettings();
  return {true, {}, settings.showInspector() && rawValue(settings.inspectorTab()) == EditorCommands::number(argument, -1)};
}

void showInspectorTab(Window& w, const Argument& argument) {
  if (const std::optional<InspectorTab> tab = quar::fromRawValue<InspectorTab>(EditorCommands::number(argument, -1)))
    w.revealInspectorTab(*tab);
}

CommandState timeFormatChoice(const Context& c, const Argument& argument) {
  const auto& formats = quar::allCases<TimeFormat>();
  const auto index = std::find(formats.begin(), formats.end(), c.model.viewSettings().timeFormat()) - formats.begin();
  return {true, {}, index == EditorCommands::number(argument, -1)};
}

void setTimeFormat(Window& w, const Argument& argument) {
  const auto& formats = quar::allCases<TimeFormat>();
  const int index = EditorCommands::number(argument, -1);
  if (index >= 0 && index < static_cast<int>(formats.size()))
    w.model().viewSettings().setTimeFormat(formats[static_cast<size_t>(index)]);
}

CommandState loudnessLaneShown(const Context& c, const Argument&) { return {c.model.viewSettings().showLoudnessLane()}; }

void zoomEnvelope(Window& w, const Argument& argument) { w.zoomEnvelope(EditorCommands::number(argument, 1)); }

std::vector<Item> viewItems() {
  std::vector<Item> items{
      editor(QStringLiteral("Zoom In"), QStringLiteral("zoomIn"), QStringLiteral("Ctrl+="), withAudio,
             [](Window& w, const Argument&) { w.model().zoom(0.5); }),
      editor(QStringLiteral("Zoom Out"), QStringLiteral("zoomOut"), QStringLiteral("Ctrl+-"), withAudio,
             [](Window& w, const Argument&) { w.model().zoom(2.0); }),
      editor(QStringLiteral("Zoom to Fit"), QStringLiteral("zoomToFit"), QStringLiteral("Ctrl+0"), withAudio,
             [](Window& w, const Argument&) { w.model().viewport().zoomToFit(); }),
      editor(QStringLiteral("Zoom to Selection"), QStringLiteral("zoomToSelection"), QStringLiteral("Ctrl+E"),
             idleWithSelection, [](Window& w, const Argument&) { w.model().zoomToSelection(); }),
      separator(),
      editor(QStringLiteral("Increase Amplitude Zoom"), QStringLiteral("increaseAmplitudeZoom"), QStringLiteral("Ctrl+Alt+="),
             withAudio, [](Window& w, const Argument&) {
               Viewport& viewport = w.model().viewport();
               viewport.setAmplitudeZoom(viewport.amplitudeZoom() * 2);
             }),
      editor(QStringLiteral("Decrease Amplitude Zoom"), QStringLiteral("decreaseAmplitudeZoom"), QStringLiteral("Ctrl+Alt+-"),
             withAudio, [](Window& w, const Argument&) {
               Viewport& viewport = w.model().viewport();
               viewport.setAmplitudeZoom(viewport.amplitudeZoom() * 0.5);
             }),
      separator(),
      editor(
          QStringLiteral("Show Inspector"), QStringLiteral("toggleInspector"), QStringLiteral("Ctrl+Alt+I"),
          [](const Context& c, const Argument&) {
            return CommandState{true, c.model.viewSettings().showInspector() ? QStringLiteral("Hide Inspector")
                                                                              : QStringLiteral("Show Inspector")};
          },
          [](Window& w, const Argument&) {
            ViewSettings& settings = w.model().viewSettings();
            settings.setShowInspector(!settings.showInspector());
          }),
  };
  const char* const tabs[] = {"Loudness", "Spectrum", "Info", "Markers", "Effects Rack"};
  for (int tab = 0; tab < 5; ++tab)
    items.push_back(editor(QString::fromLatin1(tabs[tab]), QStringLiteral("showInspectorTab"),
                           QStringLiteral("Ctrl+Alt+%1").arg(tab + 1), inspectorTabChoice, showInspectorTab, tab));
  const std::vector<Item> rest{
      separator(),
      editor(
          QStringLiteral("Show Loudness Lane"), QStringLiteral("toggleLoudnessLane"), QStringLiteral("Ctrl+Alt+L"),
          [](const Context& c, const Argument&) { return CommandState{true, {}, c.model.viewSettings().showLoudnessLane()}; },
          [](Window& w, const Argument&) {
            ViewSettings& settings = w.model().viewSettings();
            settings.setShowLoudnessLane(!settings.showLoudnessLane());
          }),
      editor(
          QStringLiteral("Show Bar Grid"), QStringLiteral("toggleGrid"), QStringLiteral("Ctrl+Alt+G"),
          [](const Context& c, const Argument&) { return CommandState{c.hasAudio, {}, c.model.tempo().showGrid()}; },
          [](Window& w, const Argument&) { w.model().tempo().setShowGrid(!w.model().tempo().showGrid()); }),
      editor(QStringLiteral("Detect Tempo"), QStringLiteral("detectTempo"), QStringLiteral("Ctrl+Alt+B"), tempoFree,
             [](Window& w, const Argument&) {
               w.model().tempo().detectTempo(w.model().content(), w.model().envelopes());
             }),
      editor(QStringLiteral("Tap Tempo"), QStringLiteral("tapTempo"), QStringLiteral("Meta+Alt+T"), tempoFree,
             [](Window& w, const Argument&) { w.model().tempo().tapTempo(); }),
      editor(QStringLiteral("Set Bar 1 at Cursor"), QStringLiteral("setDownbeatAtCursor"), QStringLiteral("Meta+Alt+1"),
             tempoFree, [](Window& w, const Argument&) { w.model().setDownbeatAtCursor(); }),
      editor(QStringLiteral("Zoom Gain Envelope In"), QStringLiteral("zoomEnvelope"), QStringLiteral("Ctrl+Alt+]"),
             loudnessLaneShown, zoomEnvelope, 1),
      editor(QStringLiteral("Zoom Gain Envelope Out"), QStringLiteral("zoomEnvelope"), QStringLiteral("Ctrl+Alt+["),
             loudnessLaneShown, zoomEnvelope, -1),
      submenu(QStringLiteral("Time Format"),
              {
                  editor(QStringLiteral("Hours:Minutes:Seconds"), QStringLiteral("setTimeFormat"), {}, timeFormatChoice,
                         setTimeFormat, 0),
                  editor(QStringLiteral("Seconds"), QStringLiteral("setTimeFormat"), {}, timeFormatChoice, setTimeFormat, 1),
                  editor(QStringLiteral("Samples"), QStringLiteral("setTimeFormat"), {}, timeFormatChoice, setTimeFormat, 2),
              }),
      separator(),
      editor(
          QStringLiteral("Enter Full Screen"), QStringLiteral("toggleFullScreen"), QStringLiteral("Meta+Ctrl+F"),
          [](const Context& c, const Argument&) {
            const bool fullScreen = c.window.window()->isFullScreen();
            return CommandState{true, fullScreen ? QStringLiteral("Exit Full Screen") : QStringLiteral("Enter Full Screen")};
          },
          [](Window& w, const Argument&) { w.window()->setWindowState(w.window()->windowState() ^ Qt::WindowFullScreen); }),
  };
  items.insert(items.end(), rest.begin(), rest.end());
  return items;
}

std::vector<Item> transportItems() {
  return {
      editor(
          QStringLiteral("Play / Pause"), QStringLiteral("togglePlayback"), QStringLiteral("Ctrl+Alt+P"),
          [](const Context& c, const Argument&) {
            return CommandState{c.hasAudio, c.model.transport().isPlaying() ? QStringLiteral("Pause") : QStringLiteral("Play")};
          },
          [](Window& w, const Argument&) { w.model().togglePlayback(); }),
      editor(QStringLiteral("Play Selection"), QStringLiteral("playSelection"), QStringLiteral("Ctrl+Alt+Shift+P"),
             idleWithSelection, [](Window& w, const Argument&) { w.model().play(true); }),
      editor(
          QStringLiteral("Stop"), QStringLiteral("stopPlayback"), QStringLiteral("Ctrl+."),
          [](const Context& c, const Argument&) { return CommandState{c.model.transport().isPlaying()}; },
          [](Window& w, const Argument&) { w.model().stop(false); }),
      editor(
          QStringLiteral("Loop Playback"), QStringLiteral("toggleLoop"), QStringLiteral("Ctrl+L"),
          [](const Context& c, const Argument&) { return CommandState{true, {}, c.model.transport().isLooping()}; },
          [](Window& w, const Argument&) { w.model().transport().setIsLooping(!w.model().transport().isLooping()); }),
      withSymbol(editor(
                     QStringLiteral("Record"), QStringLiteral("toggleRecording"), QStringLiteral("Ctrl+R"),
                     [](const Context& c, const Argument&) {
                       // Stopping a take must stay possible: only a job keeps the recorder from being toggled.
                       const Recorder& recorder = c.model.recorder();
                       const QString title = recorder.isRecording() ? QStringLiteral("Stop Recording")
                                             : recorder.isArmed()   ? QStringLiteral("Record")
                                                                    : QStringLiteral("Record\u2026");
                       return CommandState{!c.model.jobs().busy(), title};
                     },
                     [](Window& w, const Argument&) { w.model().recorder().toggle(); }),
                 QStringLiteral("record.circle")),
      separator(),
      editor(QStringLiteral("Go to Start"), QStringLiteral("goToStart"), QStringLiteral("Ctrl+Up"), withAudio,
             [](Window& w, const Argument&) { w.model().goToStart(); }),
      editor(QStringLiteral("Go to End"), QStringLiteral("goToEnd"), QStringLiteral("Ctrl+Down"), withAudio,
             [](Window& w, const Argument&) { w.model().goToEnd(); }),
      separator(),
      editor(QStringLiteral("Add Marker"), QStringLiteral("addMarker"), QStringLiteral("Meta+M"), idleWithAudio,
             [](Window& w, const Argument&) { w.model().addMarker(); }),
      editor(
          QStringLiteral("Next Marker"), QStringLiteral("nextMarker"), QStringLiteral("Ctrl+]"),
          [](const Context& c, const Argument&) { return CommandState{!c.model.markers().empty()}; },
          [](Window& w, const Argument&) { w.model().jumpToMarker(true); }),
      editor(
          QStringLiteral("Previous Marker"), QStringLiteral("previousMarker"), QStringLiteral("Ctrl+["),
          [](const Context& c, const Argument&) { return CommandState{!c.model.markers().empty()}; },
          [](Window& w, const Argument&) { w.model().jumpToMarker(false); }),
  };
}

std::vector<Item> processItems() {
  return {
      editor(QStringLiteral("Gain\u2026"), QStringLiteral("showGain"), QStringLiteral("Ctrl+Alt+G"), idleWithAudio,
             [](Window& w, const Argument&) { w.presentSheet(Window::Sheet::gain); }),
      editor(QStringLiteral("Normalize Peak\u2026"), QStringLiteral("showNormalize"), QStringLiteral("Ctrl+Alt+N"),
             idleWithAudio, [](Window& w, const Argument&) { w.presentSheet(Window::Sheet::normalize); }),
      editor(QStringLiteral("Loudness\u2026"), QStringLiteral("showLoudness"), QStringLiteral("Ctrl+Shift+L"), idleWithAudio,
             [](Window& w, const Argument&) { w.revealInspectorTab(InspectorTab::loudness); }),
      separator(),
      editor(QStringLiteral("Fade In"), QStringLiteral("fadeIn"), QStringLiteral("Meta+Ctrl+I"), idleWithSelection,
             [](Window& w, const Argument&) { w.model().fade(quar::FadeDirection::fadeIn, Window::defaultFadeShape()); }),
      editor(QStringLiteral("Fade Out"), QStringLiteral("fadeOut"), QStringLiteral("Meta+Ctrl+O"), idleWithSelection,
             [](Window& w, const Argument&) { w.model().fade(quar::FadeDirection::fadeOut, Window::defaultFadeShape()); }),
      editor(QStringLiteral("Fade\u2026"), QStringLiteral("showFade"), QStringLiteral("Ctrl+Alt+F"), idleWithSelection,
             [](Window& w, const Argument&) { w.presentSheet(Window::Sheet::fade); }),
      separator(),
      editor(QStringLiteral("Silence"), QStringLiteral("silenceSelection"), QStringLiteral("Ctrl+Alt+K"), idleWithSelection,
             [](Window& w, const Argument&) { w.model().silence(); }),
      editor(QStringLiteral("Reverse"), QStringLiteral("reverseAudio"), {}, idleWithAudio,
             [](Window& w, const Argument&) { w.model().reverse(); }),
      editor(QStringLiteral("Invert Polarity"), QStringLiteral("invertPolarity"), {}, idleWithAudio,
             [](Window& w, const Argument&) { w.model().invert(); }),
      editor(QStringLiteral("Remove DC Offset"), QStringLiteral("removeDCOffset"), {}, idleWithAudio,
             [](Window& w, const Argument&) { w.model().removeDC(); }),
      separator(),
      editor(
          QStringLiteral("Swap Channels"), QStringLiteral("swapChannels"), {},
          [](const Context& c, const Argument&) { return CommandState{c.idle && c.channels == 2}; },
          [](Window& w, const Argument&) { w.model().swapChannels(); }),
      editor(
          QStringLiteral("Convert to Mono"), QStringLiteral("convertToMono"), {},
          [](const Context& c, const Argument&) { return CommandState{c.idle && c.hasAudio && c.channels > 1}; },
          [](Window& w, const Argument&) { w.model().convertChannels(1); }),
      editor(
          QStringLiteral("Convert to Stereo"), QStringLiteral("convertToStereo"), {},
          [](const Context& c, const Argument&) { return CommandState{c.idle && c.hasAudio && c.channels != 2}; },
          [](Window& w, const Argument&) { w.model().convertChannels(2); }),
      editor(QStringLiteral("Change Sample Rate\u2026"), QStringLiteral("changeSampleRate"), {}, idleWithAudio,
             [](Window& w, const Argument&) { w.presentSheet(Window::Sheet::sampleRate); }),
      editor(QStringLiteral("Time & Pitch\u2026"), QStringLiteral("showTimePitch"), QStringLiteral("Ctrl+Alt+T"),
             idleWithAudio, [](Window& w, const Argument&) { w.presentSheet(Window::Sheet::timePitch); }),
      separator(),
      editor(QStringLiteral("Apply Gain Envelope"), QStringLiteral("applyGainEnvelope"), {}, idleWithEnvelope,
             [](Window& w, const Argument&) { w.model().applyEnvelope(); }),
      editor(QStringLiteral("Clear Gain Envelope"), QStringLiteral("clearGainEnvelope"), {}, idleWithEnvelope,
             [](Window& w, const Argument&) { w.model().clearEnvelope(); }),
  };
}

std::vector<Item> effectsItems() {
  std::vector<Item> items;
  const auto& kinds = quar::allCases<quar::EffectKind>();
  for (const quar::EffectKindCategory category : quar::allCases<quar::EffectKindCategory>()) {
    items.push_back({Kind::section, {}, QString::fromUtf8(quar::rawValue(category)), {}, {}});
    for (size_t index = 0; index < kinds.size(); ++index)
      if (quar::category(kinds[index]) == category)
        items.push_back(withSymbol(editor(QString::fromUtf8(quar::displayName(kinds[index])), QStringLiteral("addEffect"), {},
                                          always,
                                          [](Window& w, const Argument& argument) {
                                            if (const int* kind = std::get_if<int>(&argument)) w.addEffect(*kind);
                                          },
                                          static_cast<int>(index)),
                                   QString::fromUtf8(quar::symbol(kinds[index]))));
  }
  items.push_back(separator());
  // Its items, one per plug-in, send the plug-in's id.
  Item plugins = withSymbol(submenu(QStringLiteral("LV2 Plug-ins"), {}, Kind::plugins), QStringLiteral("puzzlepiece.extension"));
  plugins.command = editor({}, QStringLiteral("addAudioUnitEffect"), {}, always, [](Window& w, const Argument& argument) {
                      if (const QString* id = std::get_if<QString>(&argument)) w.addAudioUnitEffect(*id);
                    }).command;
  items.push_back(std::move(plugins));
  items.push_back(separator());
  items.push_back(editor(
      QStringLiteral("Apply Effects Rack"), QStringLiteral("applyEffectsRack"), QStringLiteral("Ctrl+Shift+Return"),
      [](const Context& c, const Argument&) { return CommandState{c.hasAudio && c.model.canApplyEffects()}; },
      [](Window& w, const Argument&) { w.model().applyEffects(); }));
  items.push_back(editor(
      QStringLiteral("Preview Effects"), QStringLiteral("toggleEffectsPreview"), {},
      [](const Context& c, const Argument&) {
        const EffectsRack& rack = c.model.rack();
        return CommandState{!rack.slots().empty(), {}, rack.previewEnabled()};
      },
      [](Window& w, const Argument&) { w.model().rack().setPreviewEnabled(!w.model().rack().previewEnabled()); }));
  items.push_back(editor(
      QStringLiteral("Clear Effects Rack"), QStringLiteral("clearEffectsRack"), {},
      [](const Context& c, const Argument&) { return CommandState{!c.model.rack().slots().empty()}; },
      [](Window& w, const Argument&) { w.model().rack().removeAll(); }));
  return items;
}

std::vector<Item> windowItems() {
  // The document windows' items send their window; the active one is checked.
  Item windows{Kind::windows, {}, {}, {}, {}};
  windows.command = application(
                        {}, QStringLiteral("showWindow"), {},
                        [](const Application&, const Argument& argument) {
                          QWidget* window = listedWindow(argument);
                          return CommandState{window != nullptr, {}, window && window == QApplication::activeWindow()};
                        },
                        [](Application&, const Argument& argument) {
                          if (QWidget* window = listedWindow(argument)) MainMenu::bringForward(*window);
                        })
                        .command;
  return {
      editor(QStringLiteral("Minimize"), QStringLiteral("minimize"), QStringLiteral("Ctrl+M"), always,
             [](Window& w, const Argument&) { w.window()->showMinimized(); }),
      editor(QStringLiteral("Zoom"), QStringLiteral("zoomWindow"), {}, always,
             [](Window& w, const Argument&) { w.window()->setWindowState(w.window()->windowState() ^ Qt::WindowMaximized); }),
      separator(),
      application(QStringLiteral("Bring All to Front"), QStringLiteral("bringAllToFront"), {}, always,
                  [](Application&, const Argument&) {
                    for (QWidget* window : MainMenu::visibleWindows()) window->raise();
                  }),
      windows,
  };
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
      {QStringLiteral("Help"),
       {application(QStringLiteral("Quarnel Shortcuts"), QStringLiteral("showHelp"), QStringLiteral("Ctrl+?"), always,
                    [](Application& a, const Argument&) { a.showHelp(); })}},
  };
  return menus;
}

} // namespace MainMenu
