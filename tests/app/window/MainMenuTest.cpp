#include <gtest/gtest.h>

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

#include "AppTestSupport.h"
#include "window/MainMenu.h"
#include "platform/CommandRouter.h"

namespace {

// The item's numeric argument; 0 without one.
int number(const QAction& item) { return EditorCommands::number(MenuItem::call(item)->argument, 0); }

// One line per entry, submenus' entries indented below their item: "---" for a separator,
// "== Title" for a section, "Title >" for a submenu, "Title | key | command | number" for an
// item (its numeric argument only when not 0).
QStringList lines(const QMenu& menu, const QString& indent = {}) {
  QStringList result;
  for (const QAction* action : menu.actions()) {
    if (action->isSeparator()) {
      result << indent + (action->text().isEmpty() ? QStringLiteral("---") : QStringLiteral("== ") + action->text());
    } else if (action->menu()) {
      result << indent + MenuItem::title(*action) + QStringLiteral(" >");
      result << lines(*action->menu(), indent + QStringLiteral("  "));
    } else {
      const QString key = action->shortcut().toString(QKeySequence::PortableText);
      QString line = MenuItem::title(*action) + QStringLiteral(" | ") + key + QStringLiteral(" | ") + MenuItem::command(*action);
      if (number(*action) != 0) line += QStringLiteral(" | %1").arg(number(*action));
      result << indent + line;
    }
  }
  return result;
}

// Every item of the menus in menu order, submenus' items after their own item.
void collectItems(const QMenu& menu, std::vector<QAction*>& items) {
  for (QAction* action : menu.actions()) {
    items.push_back(action);
    if (action->menu()) collectItems(*action->menu(), items);
  }
}

// The key that the user sees beside an item: Qt draws the text after a tab as the item's key,
// else its shortcut.
QKeySequence shownKey(const QAction& action) {
  if (action.text().contains(QLatin1Char('\t')))
    return QKeySequence(action.text().section(QLatin1Char('\t'), 1), QKeySequence::NativeText);
  return action.shortcut();
}

// Takes every command, always enabled, and notes what it performed as "command number".
class RecordingResponder final : public CommandResponder {
public:
  bool respondsTo(const QString&) const override { return true; }
  CommandState state(const CommandCall&) override { return {true}; }
  void perform(const CommandCall& call) override {
    performed << QStringLiteral("%1 %2").arg(call.identifier).arg(EditorCommands::number(call.argument, 0));
  }

  QStringList performed;
};

class MainMenuTest : public AppTest {
protected:
  void SetUp() override {
    AppTest::SetUp();
    MainMenu::build(window.menuBar());
  }

  QMenu* menu(int index) const { return window.menuBar()->actions().at(index)->menu(); }

  QMainWindow window;
};

} // namespace

TEST_F(MainMenuTest, HasEveryMenuWithItsItemsKeysCommandsAndTags) {
  QStringList titles;
  for (const QAction* action : window.menuBar()->actions()) titles << action->text();
  EXPECT_EQ(titles, (QStringList{"Quarnel", "File", "Edit", "View", "Transport", "Process", "Effects", "Window", "Help"}));

  const std::vector<QStringList> expected{
      {
          "About Quarnel |  | showAbout",
          "---",
          "Services >",
          "---",
          "Hide Quarnel | Ctrl+H | hide",
          "Hide Others | Ctrl+Alt+H | hideOthers",
          "Show All |  | showAll",
          "---",
          "Quit Quarnel | Ctrl+Q | quit",
      },
      {
          "New | Ctrl+N | newDocument",
          "New Recording | Ctrl+Alt+N | newRecording",
          "Open\u2026 | Ctrl+O | openDocument",
          "Open Recent >",
          "  Clear Menu |  | clearRecentDocuments",
          "---",
          "Close | Ctrl+W | closeWindow",
          "Save | Ctrl+S | saveDocument",
          "Save As\u2026 | Ctrl+Shift+S | saveDocumentAs",
          "Export Selection\u2026 | Ctrl+Shift+E | exportSelection",
          "Revert to Saved |  | revertDocumentToSaved",
          "---",
          "Show Recordings Folder |  | showRecordingsFolder",
      },
      {
          "Undo | Ctrl+Z | undo",
          "Redo | Ctrl+Shift+Z | redo",
          "---",
          "Cut | Ctrl+X | cut",
          "Copy | Ctrl+C | copy",
          "Paste | Ctrl+V | paste",
          "Paste Mix | Ctrl+Alt+V | pasteMix",
          "Paste as New Document | Ctrl+Alt+Shift+V | pasteAsNew",
          "Delete |  | delete",
          "---",
          "Select All | Ctrl+A | selectAll",
          "Select None | Ctrl+Shift+A | selectNone",
          "Select Channel >",
          "  All Channels |  | selectChannel | -1",
          "  Left / Channel 1 |  | selectChannel",
          "  Right / Channel 2 |  | selectChannel | 1",
          "---",
          "Trim to Selection | Ctrl+T | trimToSelection",
          "Insert Silence\u2026 | Ctrl+Shift+I | insertSilence",
          "---",
          "Snap to Zero Crossings | Ctrl+Alt+Z | toggleSnapToZeroCrossings",
      },
      {
          "Zoom In | Ctrl+= | zoomIn",
          "Zoom Out | Ctrl+- | zoomOut",
          "Zoom to Fit | Ctrl+0 | zoomToFit",
          "Zoom to Selection | Ctrl+E | zoomToSelection",
          "---",
          "Increase Amplitude Zoom | Ctrl+Alt+= | increaseAmplitudeZoom",
          "Decrease Amplitude Zoom | Ctrl+Alt+- | decreaseAmplitudeZoom",
          "---",
          "Show Inspector | Ctrl+Alt+I | toggleInspector",
          "Loudness | Ctrl+Alt+1 | showInspectorTab",
          "Spectrum | Ctrl+Alt+2 | showInspectorTab | 1",
          "Info | Ctrl+Alt+3 | showInspectorTab | 2",
          "Markers | Ctrl+Alt+4 | showInspectorTab | 3",
          "Effects Rack | Ctrl+Alt+5 | showInspectorTab | 4",
          "---",
          "Show Loudness Lane | Ctrl+Alt+L | toggleLoudnessLane",
          "Show Bar Grid | Ctrl+Alt+G | toggleGrid",
          "Detect Tempo | Ctrl+Alt+B | detectTempo",
          "Tap Tempo | Meta+Alt+T | tapTempo",
          "Set Bar 1 at Cursor | Meta+Alt+1 | setDownbeatAtCursor",
          "Zoom Gain Envelope In | Ctrl+Alt+] | zoomEnvelope | 1",
          "Zoom Gain Envelope Out | Ctrl+Alt+[ | zoomEnvelope | -1",
          "Time Format >",
          "  Hours:Minutes:Seconds |  | setTimeFormat",
          "  Seconds |  | setTimeFormat | 1",
          "  Samples |  | setTimeFormat | 2",
          "---",
          "Enter Full Screen | Meta+Ctrl+F | toggleFullScreen",
      },
      {
          "Play / Pause | Ctrl+Alt+P | togglePlayback",
          "Play Selection | Ctrl+Alt+Shift+P | playSelection",
          "Stop | Ctrl+. | stopPlayback",
          "Loop Playback | Ctrl+L | toggleLoop",
          "Record | Ctrl+R | toggleRecording",
          "---",
          "Go to Start | Ctrl+Up | goToStart",
          "Go to End | Ctrl+Down | goToEnd",
          "---",
          "Add Marker | Meta+M | addMarker",
          "Next Marker | Ctrl+] | nextMarker",
          "Previous Marker | Ctrl+[ | previousMarker",
      },
      {
          // Their keys belong to Show Bar Grid and New Recording, which come first.
          "Gain\u2026 |  | showGain",
          "Normalize Peak\u2026 |  | showNormalize",
          "Loudness\u2026 | Ctrl+Shift+L | showLoudness",
          "---",
          "Fade In | Meta+Ctrl+I | fadeIn",
          "Fade Out | Meta+Ctrl+O | fadeOut",
          "Fade\u2026 | Ctrl+Alt+F | showFade",
          "---",
          "Silence | Ctrl+Alt+K | silenceSelection",
          "Reverse |  | reverseAudio",
          "Invert Polarity |  | invertPolarity",
          "Remove DC Offset |  | removeDCOffset",
          "---",
          "Swap Channels |  | swapChannels",
          "Convert to Mono |  | convertToMono",
          "Convert to Stereo |  | convertToStereo",
          "Change Sample Rate\u2026 |  | changeSampleRate",
          "Time & Pitch\u2026 | Ctrl+Alt+T | showTimePitch",
          "---",
          "Apply Gain Envelope |  | applyGainEnvelope",
          "Clear Gain Envelope |  | clearGainEnvelope",
      },
      {
          "== Tone",
          "Parametric EQ |  | addEffect",
          "Saturation |  | addEffect | 3",
          "== Dynamics",
          "Compressor |  | addEffect | 1",
          "Noise Gate |  | addEffect | 2",
          "== Time & Space",
          "Delay |  | addEffect | 4",
          "Reverb |  | addEffect | 5",
          "Chorus / Flanger |  | addEffect | 6",
          "== Restoration",
          "Noise Reduction |  | addEffect | 7",
          "---",
          "LV2 Plug-ins >",
          "---",
          "Apply Effects Rack | Ctrl+Shift+Return | applyEffectsRack",
          "Preview Effects |  | toggleEffectsPreview",
          "Clear Effects Rack |  | clearEffectsRack",
      },
      {
          "Minimize | Ctrl+M | minimize",
          "Zoom |  | zoomWindow",
          "---",
          "Bring All to Front |  | bringAllToFront",
      },
      {
          "Quarnel Shortcuts | Ctrl+? | showHelp",
      },
  };
  ASSERT_EQ(window.menuBar()->actions().size(), static_cast<qsizetype>(expected.size()));
  for (size_t i = 0; i < expected.size(); ++i)
    EXPECT_EQ(lines(*menu(static_cast<int>(i))).join(QLatin1Char('\n')).toStdString(), expected[i].join(QLatin1Char('\n')).toStdString());
}

// A key shown beside an item reaches that item and no other, in the window as keys arrive.
TEST_F(MainMenuTest, EveryShownKeyTriggersExactlyItsItem) {
  RecordingResponder responder;
  new CommandRouter(&window, {&responder});
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

  std::vector<QAction*> items;
  for (const QAction* action : window.menuBar()->actions()) collectItems(*action->menu(), items);
  int keyed = 0;
  for (const QAction* item : items) {
    const QKeySequence key = shownKey(*item);
    if (item->isSeparator() || key.isEmpty()) continue;
    ++keyed;
    const QString label =
        MenuItem::title(*item) + QStringLiteral(" (") + key.toString(QKeySequence::PortableText) + QLatin1Char(')');
    ASSERT_EQ(key.count(), 1) << label.toStdString();
    responder.performed.clear();
    QTest::keyClick(&window, key[0].key(), key[0].keyboardModifiers());
    const QString expected = QStringLiteral("%1 %2").arg(MenuItem::command(*item)).arg(number(*item));
    EXPECT_EQ(responder.performed.join(QStringLiteral(", ")).toStdString(), expected.toStdString())
        << label.toStdString();
  }
  EXPECT_GT(keyed, 0);
}

TEST_F(MainMenuTest, TitlesShowAmpersandsAndEllipses) {
  for (QAction* action : window.menuBar()->findChildren<QAction*>()) {
    EXPECT_FALSE(action->text().contains(QStringLiteral("..."))) << action->text().toStdString();
    // No single "&" in an item: it would be a mnemonic and vanish (section titles show as given).
    if (!action->isSeparator()) {
      EXPECT_FALSE(action->text().replace(QStringLiteral("&&"), QString()).contains(QLatin1Char('&')))
          << action->text().toStdString();
    }
  }
  auto* timePitch = window.menuBar()->findChild<QAction*>(QStringLiteral("showTimePitch"));
  EXPECT_EQ(timePitch->text(), QStringLiteral("Time && Pitch\u2026"));
  auto* normalize = window.menuBar()->findChild<QAction*>(QStringLiteral("showNormalize"));
  MenuItem::setTitle(*normalize, QStringLiteral("Normalize & Peak"));
  EXPECT_EQ(normalize->text(), QStringLiteral("Normalize && Peak"));
  EXPECT_EQ(MenuItem::title(*normalize), QStringLiteral("Normalize & Peak"));
  // Record, the effects and the plug-in submenu show their symbols.
  EXPECT_FALSE(window.menuBar()->findChild<QAction*>(QStringLiteral("toggleRecording"))->icon().isNull());
  for (const QAction* action : menu(6)->actions()) {
    if (MenuItem::command(*action) == QLatin1String("addEffect") || action->menu()) {
      EXPECT_FALSE(action->icon().isNull()) << action->text().toStdString();
    }
  }
}

TEST_F(MainMenuTest, ThePluginSubmenuFillsOnceFromTheLibraryOnFirstOpening) {
  QMenu* effects = menu(6);
  QMenu* plugins = nullptr;
  for (QAction* action : effects->actions())
    if (action->menu() && action->text() == QLatin1String("LV2 Plug-ins")) plugins = action->menu();
  ASSERT_TRUE(plugins);
  EXPECT_TRUE(plugins->actions().isEmpty());
  Q_EMIT plugins->aboutToShow();
  QStringList manufacturers;
  QMenu* tests = nullptr;
  for (QAction* action : plugins->actions()) {
    manufacturers << action->text();
    if (action->text() == QLatin1String("Quarnel Tests")) tests = action->menu();
  }
  ASSERT_TRUE(tests) << manufacturers.join(QLatin1Char(',')).toStdString();
  QStringList names;
  for (const QAction* action : tests->actions()) {
    names << MenuItem::title(*action);
    EXPECT_EQ(MenuItem::command(*action), QStringLiteral("addAudioUnitEffect"));
    const QString* id = std::get_if<QString>(&MenuItem::call(*action)->argument);
    EXPECT_TRUE(id && !id->isEmpty());
  }
  EXPECT_TRUE(names.contains(QStringLiteral("Test Stereo Gain"))) << names.join(QLatin1Char(',')).toStdString();
  // Opening again adds nothing.
  const qsizetype count = plugins->actions().size();
  Q_EMIT plugins->aboutToShow();
  EXPECT_EQ(plugins->actions().size(), count);
}

TEST_F(MainMenuTest, WithoutPluginsTheSubmenuSaysSoInADisabledItem) {
  QMenu menu;
  MainMenu::fillAudioUnitMenu(menu, {}, QStringLiteral("addAudioUnitEffect"));
  ASSERT_EQ(menu.actions().size(), 1);
  EXPECT_EQ(menu.actions().front()->text(), QStringLiteral("No LV2 plug-in effects installed"));
  EXPECT_FALSE(menu.actions().front()->isEnabled());
  EXPECT_TRUE(MenuItem::command(*menu.actions().front()).isEmpty());
}
