#include <gtest/gtest.h>

#include <QAction>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QDesktopServices>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>

#include <functional>

#include "AppTestSupport.h"
#include "FullStoreSupport.h"
#include "au/support/TestUnits.h"
#include "DocumentTestSupport.h"
#include "editor/EditorModelFixture.h"
#include "effects/EditorTestSupport.h"
#include "document/AudioDocumentController.h"
#include "dsp/effects/EffectSettings.h"
#include "window/EditorCommands.h"
#include "window/EditorWindowController.h"
#include "effects/AudioUnitLibrary.h"
#include "effects/EffectsRack.h"
#include "platform/NullAudioBackend.h"
#include "recording/Recorder.h"
#include "sheets/SheetContainer.h"
#include "support/AudioClipboard.h"
#include "support/Preferences.h"
#include "views/EditorRootView.h"
#include "views/TimelineView.h"

using namespace DocumentTestSupport;

namespace {

// Receives the URLs that the desktop would open.
class UrlCatcher final : public QObject {
  Q_OBJECT
public:
  QList<QUrl> urls;
public Q_SLOTS:
  void open(const QUrl& url) { urls << url; }
};

} // namespace

class EditorCommandsTest : public AppTest {
protected:
  void TearDown() override {
    for (QWidget* widget : QApplication::topLevelWidgets())
      if (auto* box = qobject_cast<QMessageBox*>(widget)) box->deleteLater();
    for (Document* document : std::vector<Document*>(controller.documents())) {
      auto* audio = static_cast<AudioDocument*>(document);
      audio->model().recorder().disarm();
      EXPECT_TRUE(waitUntilIdle(*audio));
      document->close();
    }
  }

  // A document over `content` in its shown window.
  AudioDocument* open(quar::AudioContent content) {
    std::unique_ptr<Document> made = controller.makeUntitledDocument(controller.defaultType());
    auto* document = static_cast<AudioDocument*>(made.get());
    document->model().load(std::move(content), std::nullopt);
    controller.addDocument(std::move(made));
    document->makeWindowControllers();
    document->showWindows();
    return document;
  }
  AudioDocument* openStereo() { return open(signal(48000, 2, 48000)); }
  static EditorWindowController& windowOf(const AudioDocument& document) {
    return static_cast<EditorWindowController&>(*document.windowControllers().front());
  }
  // The window's item that sends `command` with the number `tag` (0: none or 0), validated now.
  static QAction* item(EditorWindowController& window, const QString& command, int tag = 0) {
    for (QAction* action : window.window()->menuBar()->findChildren<QAction*>(command))
      if (EditorCommands::number(MenuItem::call(*action)->argument, 0) == tag) {
        window.commandRouter().validate(*action);
        return action;
      }
    ADD_FAILURE() << "no item " << command.toStdString() << " " << tag;
    return nullptr;
  }
  // Chooses the item as a click in its menu does.
  static void choose(EditorWindowController& window, const QString& command, int tag = 0) {
    QAction* action = item(window, command, tag);
    ASSERT_TRUE(action->isEnabled()) << command.toStdString();
    action->trigger();
  }
  static bool activate(QWidget* window) {
    window->activateWindow();
    return QTest::qWaitForWindowActive(window);
  }
  static NullAudioBackend& device() { return dynamic_cast<NullAudioBackend&>(AudioBackend::shared()); }

  AudioDocumentController controller;
};

// Which items are enabled, over the states of a document: a stereo file with a selection, a
// marker, a gain point, an effect and audio on the clipboard; the same without a selection;
// while a job runs; while a take is being recorded; as mono; with six channels; while playing.
TEST_F(EditorCommandsTest, ItemsAreEnabledAsTheDocumentsStateAllows) {
  struct State {
    const char* name;
    int channels;
    std::function<void(EditorModel&)> enter;
  };
  const std::vector<State> states{
      {"base", 2, [](EditorModel&) {}},
      {"no selection", 2, [](EditorModel& model) { model.selectNone(); }},
      {"job", 2,
       [](EditorModel& model) {
         model.jobs().beginExternalBusy(QStringLiteral("Job"), std::make_shared<ProgressToken>());
       }},
      {"recording", 2,
       [](EditorModel& model) {
         model.recorder().toggle();
         model.recorder().toggle();
         ASSERT_TRUE(model.recorder().isRecording());
       }},
      {"mono", 1, [](EditorModel&) {}},
      {"six channels", 6, [](EditorModel&) {}},
      {"playing", 2, [](EditorModel& model) { model.play(false); }},
  };
  // Per command (and tag), one digit per state in the order above.
  const std::vector<std::tuple<const char*, int, const char*>> expected{
      {"cut", 0, "1000111"},
      {"copy", 0, "1000111"},
      {"paste", 0, "1100111"},
      {"pasteMix", 0, "1100111"},
      {"pasteAsNew", 0, "1100111"},
      {"delete", 0, "1000111"},
      {"selectAll", 0, "1111111"},
      {"selectNone", 0, "1011111"},
      {"selectChannel", -1, "1111111"},
      {"selectChannel", 0, "1111011"},
      {"selectChannel", 1, "1111011"},
      {"trimToSelection", 0, "1000111"},
      {"insertSilence", 0, "1100111"},
      {"toggleSnapToZeroCrossings", 0, "1111111"},
      {"zoomIn", 0, "1111111"},
      {"zoomOut", 0, "1111111"},
      {"zoomToFit", 0, "1111111"},
      {"zoomToSelection", 0, "1000111"},
      {"increaseAmplitudeZoom", 0, "1111111"},
      {"decreaseAmplitudeZoom", 0, "1111111"},
      {"toggleInspector", 0, "1111111"},
      {"showInspectorTab", 4, "1111111"},
      {"toggleLoudnessLane", 0, "1111111"},
      {"toggleGrid", 0, "1111111"},
      {"detectTempo", 0, "1111111"},
      {"tapTempo", 0, "1111111"},
      {"setDownbeatAtCursor", 0, "1111111"},
      {"zoomEnvelope", 1, "1111111"},
      {"setTimeFormat", 2, "1111111"},
      {"togglePlayback", 0, "1111111"},
      {"playSelection", 0, "1000111"},
      {"stopPlayback", 0, "0000001"},
      {"toggleLoop", 0, "1111111"},
      {"toggleRecording", 0, "1101111"},
      {"goToStart", 0, "1111111"},
      {"goToEnd", 0, "1111111"},
      {"addMarker", 0, "1100111"},
      {"nextMarker", 0, "1111111"},
      {"previousMarker", 0, "1111111"},
      {"showGain", 0, "1100111"},
      {"showNormalize", 0, "1100111"},
      {"showLoudness", 0, "1100111"},
      {"fadeIn", 0, "1000111"},
      {"fadeOut", 0, "1000111"},
      {"showFade", 0, "1000111"},
      {"silenceSelection", 0, "1000111"},
      {"reverseAudio", 0, "1100111"},
      {"invertPolarity", 0, "1100111"},
      {"removeDCOffset", 0, "1100111"},
      {"swapChannels", 0, "1100001"},
      {"convertToMono", 0, "1100011"},
      {"convertToStereo", 0, "0000110"},
      {"changeSampleRate", 0, "1100111"},
      {"showTimePitch", 0, "1100111"},
      {"applyGainEnvelope", 0, "1100111"},
      {"clearGainEnvelope", 0, "1100111"},
      {"newRecording", 0, "1111111"},
      {"showRecordingsFolder", 0, "1111111"},
      {"addEffect", 0, "1111111"},
      {"applyEffectsRack", 0, "1100111"},
      {"toggleEffectsPreview", 0, "1111111"},
      {"clearEffectsRack", 0, "1111111"},
      {"exportSelection", 0, "1100111"},
      {"undo", 0, "1100111"},
      {"redo", 0, "0000000"},
      {"saveDocument", 0, "1100111"},
      {"saveDocumentAs", 0, "1100111"},
      {"closeWindow", 0, "1111111"},
  };
  std::vector<std::string> actual(expected.size());
  for (const State& state : states) {
    AudioClipboard::shared().store(signal(4800, 2, 48000));
    AudioDocument* document = open(signal(48000, state.channels, 48000));
    EditorModel& model = document->model();
    model.setSelection(quar::FrameRange(4800, 9600), std::nullopt);
    model.addMarker(24000);
    quar::EnvelopeSet envelopes;
    envelopes.master = quar::GainEnvelope({quar::EnvelopePoint(100, -6)});
    model.setEnvelopes(envelopes);
    model.rack().add(quar::defaultSettings(quar::EffectKind::eq));
    state.enter(model);
    EditorWindowController& window = windowOf(*document);
    for (size_t i = 0; i < expected.size(); ++i) {
      const auto& [command, tag, digits] = expected[i];
      actual[i] += item(window, QString::fromLatin1(command), tag)->isEnabled() ? '1' : '0';
    }
    if (model.jobs().busy() && !model.recorder().isRecording()) model.jobs().endExternalBusy(model.jobs().busy()->id);
    model.stop(false);
    model.recorder().disarm();
    ASSERT_TRUE(waitUntilIdle(*document));
    document->close();
  }
  for (size_t i = 0; i < expected.size(); ++i) {
    const auto& [command, tag, digits] = expected[i];
    EXPECT_EQ(actual[i], digits) << command << " " << tag;
  }
}

TEST_F(EditorCommandsTest, TitlesAndCheckMarksFollowTheState) {
  AudioDocument* document = openStereo();
  EditorModel& model = document->model();
  EditorWindowController& window = windowOf(*document);
  const auto title = [&](const char* command) { return MenuItem::title(*item(window, QString::fromLatin1(command))); };
  const auto checked = [&](const char* command, int tag = 0) { return item(window, QString::fromLatin1(command), tag)->isChecked(); };

  model.viewSettings().setShowInspector(true);
  EXPECT_EQ(title("toggleInspector"), QStringLiteral("Hide Inspector"));
  model.viewSettings().setInspectorTab(InspectorTab::markers);
  EXPECT_TRUE(checked("showInspectorTab", 3));
  EXPECT_FALSE(checked("showInspectorTab", 0));
  model.viewSettings().setShowInspector(false);
  EXPECT_EQ(title("toggleInspector"), QStringLiteral("Show Inspector"));
  EXPECT_FALSE(checked("showInspectorTab", 3));

  EXPECT_EQ(title("togglePlayback"), QStringLiteral("Play"));
  model.play(false);
  EXPECT_EQ(title("togglePlayback"), QStringLiteral("Pause"));
  model.stop(false);

  Recorder& recorder = model.recorder();
  EXPECT_EQ(title("toggleRecording"), QStringLiteral("Record\u2026"));
  choose(window, QStringLiteral("toggleRecording"));
  EXPECT_EQ(title("toggleRecording"), QStringLiteral("Record"));
  choose(window, QStringLiteral("toggleRecording"));
  EXPECT_TRUE(recorder.isRecording());
  EXPECT_EQ(title("toggleRecording"), QStringLiteral("Stop Recording"));
  choose(window, QStringLiteral("toggleRecording"));
  EXPECT_FALSE(recorder.isRecording());
  recorder.disarm();
  ASSERT_TRUE(waitUntilIdle(*document));

  model.addMarker(100);
  EXPECT_EQ(title("undo"), QStringLiteral("Undo Add Marker"));
  choose(window, QStringLiteral("undo"));
  EXPECT_EQ(title("redo"), QStringLiteral("Redo Add Marker"));
  EXPECT_EQ(title("undo"), QStringLiteral("Undo"));

  model.viewSettings().setTimeFormat(TimeFormat::samples);
  EXPECT_TRUE(checked("setTimeFormat", 2));
  EXPECT_FALSE(checked("setTimeFormat", 0));
  choose(window, QStringLiteral("setTimeFormat"), 1);
  EXPECT_EQ(model.viewSettings().timeFormat(), TimeFormat::seconds);
  choose(window, QStringLiteral("toggleLoop"));
  EXPECT_TRUE(checked("toggleLoop"));
  EXPECT_TRUE(model.transport().player().program().loop);
}

TEST_F(EditorCommandsTest, ChannelItemsSelectAndCheckTheActiveChannels) {
  AudioDocument* mono = open(signal(4800, 1, 48000));
  EditorWindowController& monoWindow = windowOf(*mono);
  EXPECT_TRUE(item(monoWindow, QStringLiteral("selectChannel"), -1)->isEnabled());
  EXPECT_TRUE(item(monoWindow, QStringLiteral("selectChannel"), -1)->isChecked());
  EXPECT_FALSE(item(monoWindow, QStringLiteral("selectChannel"), 0)->isEnabled());
  EXPECT_FALSE(item(monoWindow, QStringLiteral("selectChannel"), 0)->isChecked());
  EXPECT_FALSE(item(monoWindow, QStringLiteral("selectChannel"), 1)->isEnabled());

  AudioDocument* stereo = openStereo();
  EditorModel& model = stereo->model();
  EditorWindowController& window = windowOf(*stereo);
  EXPECT_TRUE(item(window, QStringLiteral("selectChannel"), -1)->isChecked());
  EXPECT_FALSE(item(window, QStringLiteral("selectChannel"), 0)->isChecked());
  EXPECT_FALSE(item(window, QStringLiteral("selectChannel"), 1)->isChecked());
  ASSERT_FALSE(model.selection());
  choose(window, QStringLiteral("selectChannel"), 1);
  EXPECT_EQ(model.selection(), quar::FrameRange(0, 48000));
  EXPECT_EQ(model.activeChannels(), std::set<int>{1});
  EXPECT_TRUE(item(window, QStringLiteral("selectChannel"), 1)->isChecked());
  EXPECT_FALSE(item(window, QStringLiteral("selectChannel"), -1)->isChecked());
  model.setSelection(quar::FrameRange(100, 200), std::nullopt);
  choose(window, QStringLiteral("selectChannel"), -1);
  EXPECT_EQ(model.selection(), quar::FrameRange(100, 200));
  EXPECT_EQ(model.activeChannels(), (std::set<int>{0, 1}));
}

TEST_F(EditorCommandsTest, ZoomsStepWithinTheirBounds) {
  AudioDocument* document = openStereo();
  EditorModel& model = document->model();
  EditorWindowController& window = windowOf(*document);
  model.viewSettings().setShowLoudnessLane(true);
  // The gain scale steps through 3, 6, 12, 24 and 48 dB; a range off the steps counts as 12.
  const struct {
    double from;
    int tag;
    double to;
  } ranges[] = {{48, -1, 48}, {3, 1, 3}, {10, 1, 6}, {10, -1, 24}, {12, 1, 6}, {24, -1, 48}};
  for (const auto& c : ranges) {
    model.viewSettings().setEnvelopeRangeDB(c.from);
    choose(window, QStringLiteral("zoomEnvelope"), c.tag);
    EXPECT_EQ(model.viewSettings().envelopeRangeDB(), c.to) << c.from << " " << c.tag;
  }
  model.viewSettings().setShowLoudnessLane(false);
  EXPECT_FALSE(item(window, QStringLiteral("zoomEnvelope"), 1)->isEnabled());

  const struct {
    double from;
    const char* command;
    double to;
  } amplitudes[] = {{64, "increaseAmplitudeZoom", 64}, {1, "decreaseAmplitudeZoom", 1},
                    {3, "decreaseAmplitudeZoom", 1.5}, {40, "increaseAmplitudeZoom", 64}};
  for (const auto& c : amplitudes) {
    model.viewport().setAmplitudeZoom(c.from);
    choose(window, QString::fromLatin1(c.command));
    EXPECT_EQ(model.viewport().amplitudeZoom(), c.to) << c.from << " " << c.command;
  }
}

// Inspector, loudness lane and zero-crossing snapping are remembered for the next window; the
// bar grid is not.
TEST_F(EditorCommandsTest, ViewTogglesAreRememberedExceptTheGrid) {
  AudioDocument* first = openStereo();
  EditorModel& model = first->model();
  const bool inspector = model.viewSettings().showInspector();
  const bool lane = model.viewSettings().showLoudnessLane();
  const bool snap = model.snapToZeroCrossings();
  for (const char* command : {"toggleInspector", "toggleLoudnessLane", "toggleSnapToZeroCrossings", "toggleGrid"})
    choose(windowOf(*first), QString::fromLatin1(command));
  EXPECT_TRUE(model.tempo().showGrid());
  EditorModel& next = openStereo()->model();
  EXPECT_EQ(next.viewSettings().showInspector(), !inspector);
  EXPECT_EQ(next.viewSettings().showLoudnessLane(), !lane);
  EXPECT_EQ(next.snapToZeroCrossings(), !snap);
  EXPECT_FALSE(next.tempo().showGrid());
}

TEST_F(EditorCommandsTest, QuickFadesUseTheStoredShapeOrTheSCurve) {
  const std::pair<const char*, quar::FadeShape> stored[] = {
      {"linear", quar::FadeShape::linear}, {"equalPower", quar::FadeShape::equalPower},
      {"notAShape", quar::FadeShape::sCurve}, {"", quar::FadeShape::sCurve}};
  for (const auto& [text, shape] : stored) {
    Preferences::setValue(Preferences::Keys::fadeShape, QString::fromLatin1(text));
    EXPECT_EQ(EditorWindowController::defaultFadeShape(), shape) << text;
  }
  AudioDocument* document = openStereo();
  EditorModel& model = document->model();
  const quar::AudioContent before = model.content();
  const quar::FrameRange range(4800, 9600);
  model.setSelection(range, std::nullopt);
  choose(windowOf(*document), QStringLiteral("fadeOut"));
  ASSERT_TRUE(waitUntilIdle(*document));
  const quar::AudioContent expected = quar::applyingFade(before, quar::FadeDirection::fadeOut, quar::FadeShape::sCurve, range);
  for (const int64_t frame : {4800, 6000, 7200, 8400, 9599})
    EXPECT_EQ(model.content().sample(1, frame), expected.sample(1, frame)) << frame;
}

TEST_F(EditorCommandsTest, TabsAndEffectsShowTheInspectorAndIgnoreUnknownTags) {
  AudioDocument* document = openStereo();
  EditorModel& model = document->model();
  EditorWindowController& window = windowOf(*document);
  model.viewSettings().setShowInspector(false);
  choose(window, QStringLiteral("showInspectorTab"), 2);
  EXPECT_EQ(model.viewSettings().inspectorTab(), InspectorTab::info);
  EXPECT_TRUE(model.viewSettings().showInspector());

  // Calls that no menu item sends: unknown numbers and plug-ins change nothing.
  window.perform({QStringLiteral("showInspectorTab"), 5});
  window.perform({QStringLiteral("setTimeFormat"), 3});
  window.perform({QStringLiteral("addEffect"), 8});
  window.perform({QStringLiteral("addAudioUnitEffect"), QStringLiteral("0-0-0")});
  window.perform({QStringLiteral("addEffect")});
  EXPECT_EQ(model.viewSettings().inspectorTab(), InspectorTab::info);
  EXPECT_TRUE(model.rack().slots().empty());

  model.viewSettings().setShowInspector(false);
  choose(window, QStringLiteral("addEffect"), 6);
  ASSERT_EQ(model.rack().slots().size(), 1u);
  EXPECT_EQ(model.rack().slots().front().source, EffectSlot::Source(quar::defaultSettings(quar::EffectKind::chorus)));
  EXPECT_EQ(model.viewSettings().inspectorTab(), InspectorTab::effects);
  EXPECT_TRUE(model.viewSettings().showInspector());

  // A plug-in from the LV2 submenu, as it fills on opening.
  QMenu* plugins = nullptr;
  for (QMenu* menu : window.window()->menuBar()->findChildren<QMenu*>())
    if (menu->title() == QLatin1String("LV2 Plug-ins")) plugins = menu;
  ASSERT_TRUE(plugins);
  Q_EMIT plugins->aboutToShow();
  QAction* gain = nullptr;
  for (QAction* action : plugins->findChildren<QAction*>(QStringLiteral("addAudioUnitEffect")))
    if (MenuItem::title(*action) == QLatin1String("Test Stereo Gain")) gain = action;
  ASSERT_TRUE(gain);
  window.commandRouter().validate(*gain);
  gain->trigger();
  ASSERT_EQ(model.rack().slots().size(), 2u);
  const auto* descriptor = std::get_if<quar::AudioUnitDescriptor>(&model.rack().slots().back().source);
  ASSERT_TRUE(descriptor);
  EXPECT_EQ(descriptor->name, "Test Stereo Gain");
  choose(window, QStringLiteral("clearEffectsRack"));
  EXPECT_TRUE(model.rack().slots().empty());
}

TEST_F(EditorCommandsTest, PasteAsNewDocumentOpensTheClipboardInANewWindow) {
  AudioDocument* document = openStereo();
  EditorWindowController& window = windowOf(*document);
  AudioClipboard::shared().store(quar::AudioContent(2, 48000));
  EXPECT_FALSE(item(window, QStringLiteral("pasteAsNew"))->isEnabled());

  const quar::AudioContent clip = signal(2400, 1, 44100);
  AudioClipboard::shared().store(clip);
  choose(window, QStringLiteral("pasteAsNew"));
  ASSERT_EQ(controller.documents().size(), 2u);
  auto* pasted = static_cast<AudioDocument*>(controller.documents().back());
  EXPECT_EQ(pasted->fileType(), QStringLiteral("com.microsoft.waveform-audio"));
  EXPECT_EQ(pasted->displayName(), QStringLiteral("Untitled 2"));
  EXPECT_EQ(pasted->model().content().frameCount(), 2400);
  EXPECT_EQ(pasted->model().content().sampleRate(), 44100);
  EXPECT_FALSE(pasted->model().fileInfo());
  EXPECT_TRUE(pasted->windowForSheet()->isVisible());
}

TEST_F(EditorCommandsTest, TheRecordingsFolderIsMadeAndShown) {
  AudioDocument* document = openStereo();
  UrlCatcher catcher;
  QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
  choose(windowOf(*document), QStringLiteral("showRecordingsFolder"));
  QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
  ASSERT_EQ(catcher.urls.size(), 1);
  EXPECT_EQ(catcher.urls.front(), QUrl::fromLocalFile(Recorder::recordingsFolder()));
  EXPECT_TRUE(QFileInfo(Recorder::recordingsFolder()).isDir());
}

// Ctrl+Alt+N and Ctrl+Alt+G belong to New Recording and Show Bar Grid, which come first in the
// menus; Normalize Peak… and Gain… show no key.
TEST_F(EditorCommandsTest, AKeyThatTwoItemsHaveReachesTheFirst) {
  AudioDocument* document = openStereo();
  EditorWindowController& window = windowOf(*document);
  ASSERT_TRUE(activate(window.window()));
  EXPECT_EQ(item(window, QStringLiteral("showGain"))->text(), QStringLiteral("Gain\u2026"));

  QTest::keyClick(window.rootView()->timeline(), Qt::Key_G, Qt::ControlModifier | Qt::AltModifier);
  EXPECT_TRUE(document->model().tempo().showGrid());
  QTest::keyClick(window.rootView()->timeline(), Qt::Key_N, Qt::ControlModifier | Qt::AltModifier);
  ASSERT_EQ(controller.documents().size(), 2u);
  auto* recording = static_cast<AudioDocument*>(controller.documents().back());
  EXPECT_TRUE(recording->model().recorder().isArmed());
  EXPECT_EQ(recording->model().content().frameCount(), 0);
  EXPECT_EQ(AppTestSupport::beepCount(), 0);
}

// A key reaches its command only while the item is enabled at that moment, whatever the menus
// showed when they last opened; a focused text field keeps its own editing keys.
TEST_F(EditorCommandsTest, KeysFollowTheStateOfTheMomentAndTextFieldsKeepTheirOwn) {
  AudioDocument* document = openStereo();
  EditorModel& model = document->model();
  EditorWindowController& window = windowOf(*document);
  ASSERT_TRUE(activate(window.window()));
  QWidget* timeline = window.rootView()->timeline();
  timeline->setFocus();
  window.commandRouter().validateAll();
  ASSERT_FALSE(item(window, QStringLiteral("cut"))->isEnabled());

  model.setSelection(quar::FrameRange(0, 4800), std::nullopt);
  QTest::keyClick(timeline, Qt::Key_X, Qt::ControlModifier);
  EXPECT_EQ(model.content().frameCount(), 48000 - 4800);
  ASSERT_TRUE(AudioClipboard::shared().content());
  EXPECT_EQ(AudioClipboard::shared().content()->frameCount(), 4800);

  model.setSelection(quar::FrameRange(0, 4800), std::nullopt);
  window.commandRouter().validateAll();
  const quar::Uuid job = model.jobs().beginExternalBusy(QStringLiteral("Job"), std::make_shared<ProgressToken>());
  QTest::keyClick(timeline, Qt::Key_T, Qt::ControlModifier);
  EXPECT_EQ(model.content().frameCount(), 48000 - 4800);
  model.jobs().endExternalBusy(job);
  QTest::keyClick(timeline, Qt::Key_T, Qt::ControlModifier);
  EXPECT_EQ(model.content().frameCount(), 4800);

  // The status bar's start field: its keys edit its text, not the audio.
  auto* field = window.rootView()->findChild<QLineEdit*>(QStringLiteral("startField"));
  ASSERT_TRUE(field);
  field->setFocus();
  field->setText(QStringLiteral("0:00.050"));
  field->selectAll();
  const int64_t copies = AudioClipboard::shared().changeCount();
  const auto undoSteps = document->undoManager()->undoActionName();
  QTest::keyClick(field, Qt::Key_C, Qt::ControlModifier);
  QTest::keyClick(field, Qt::Key_X, Qt::ControlModifier);
  EXPECT_EQ(field->text(), QString());
  QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
  QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(field->text(), QStringLiteral("0:00.0500:00.050"));
  QTest::keyClick(field, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(field->text(), QStringLiteral("0:00.050"));
  EXPECT_EQ(AudioClipboard::shared().changeCount(), copies);
  EXPECT_EQ(model.content().frameCount(), 4800);
  EXPECT_EQ(document->undoManager()->undoActionName(), undoSteps);
}

// Keys held with Ctrl go to the menus before the timeline, which takes the rest as before:
// Ctrl+Shift+Return applies the rack, Ctrl+Home still goes to the start.
TEST_F(EditorCommandsTest, CtrlKeysReachTheMenusBeforeTheTimeline) {
  AudioDocument* document = openStereo();
  EditorModel& model = document->model();
  EditorWindowController& window = windowOf(*document);
  ASSERT_TRUE(activate(window.window()));
  QWidget* timeline = window.rootView()->timeline();
  timeline->setFocus();
  // With nothing to apply the item is off: the key neither applies nor beeps.
  QTest::keyClick(timeline, Qt::Key_Return, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_FALSE(model.jobs().busy());
  EXPECT_EQ(AppTestSupport::beepCount(), 0);
  model.rack().add(quar::defaultSettings(quar::EffectKind::eq));
  model.seek(4800);
  QTest::keyClick(timeline, Qt::Key_Return, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return document->undoManager()->undoActionName() == QLatin1String("Apply Parametric EQ"); }, 20000));
  EXPECT_EQ(model.cursor(), 4800);
  QTest::keyClick(timeline, Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(model.cursor(), 0);
}

// A plug-in still loading would be applied as a fresh instance in its default state: the item,
// and so its key, waits for the load, and the model refuses what comes anyway.
TEST_F(EditorCommandsTest, ApplyEffectsRackWaitsForLoadingPlugIns) {
  AudioDocument* document = openStereo();
  EditorModel& model = document->model();
  EditorWindowController& window = windowOf(*document);
  ASSERT_TRUE(activate(window.window()));
  QWidget* timeline = window.rootView()->timeline();
  timeline->setFocus();
  model.rack().add(quar::defaultSettings(quar::EffectKind::eq));
  EXPECT_TRUE(item(window, QStringLiteral("applyEffectsRack"))->isEnabled());
  model.rack().addAudioUnit(quar::test::descriptorOf(quar::test::lv2Component(quar::test::testPlugins + "stereo-gain")));
  ASSERT_FALSE(model.rack().loadingSlots().empty());
  EXPECT_FALSE(item(window, QStringLiteral("applyEffectsRack"))->isEnabled());
  QTest::keyClick(timeline, Qt::Key_Return, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_FALSE(model.jobs().busy());
  EXPECT_EQ(AppTestSupport::beepCount(), 0);
  model.applyEffects();
  EXPECT_FALSE(model.jobs().busy());
  EXPECT_EQ(AppTestSupport::beepCount(), 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return model.rack().loadingSlots().empty(); }, 20000));
  EXPECT_TRUE(item(window, QStringLiteral("applyEffectsRack"))->isEnabled());
}

TEST_F(EditorCommandsTest, WindowItemsActOnTheWindow) {
  AudioDocument* document = openStereo();
  EditorWindowController& window = windowOf(*document);
  QMainWindow* main = window.window();
  choose(window, QStringLiteral("zoomWindow"));
  EXPECT_TRUE(main->isMaximized());
  choose(window, QStringLiteral("zoomWindow"));
  EXPECT_FALSE(main->isMaximized());
  // The full-screen item says what choosing it will do.
  EXPECT_EQ(MenuItem::title(*item(window, QStringLiteral("toggleFullScreen"))), QStringLiteral("Enter Full Screen"));
  choose(window, QStringLiteral("toggleFullScreen"));
  EXPECT_TRUE(main->isFullScreen());
  EXPECT_EQ(MenuItem::title(*item(window, QStringLiteral("toggleFullScreen"))), QStringLiteral("Exit Full Screen"));
  choose(window, QStringLiteral("toggleFullScreen"));
  EXPECT_FALSE(main->isFullScreen());
  EXPECT_EQ(MenuItem::title(*item(window, QStringLiteral("toggleFullScreen"))), QStringLiteral("Enter Full Screen"));
  choose(window, QStringLiteral("minimize"));
  EXPECT_TRUE(main->isMinimized());
  main->showNormal();
  const QPointer<AudioDocument> guard(document);
  choose(window, QStringLiteral("closeWindow"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return !guard; }));
}

// Right-clicking the waveform offers the window's items, as validated when the menu opens.
TEST_F(EditorCommandsTest, TheTimelinesContextMenuTakesTheWindowsItems) {
  AudioDocument* document = openStereo();
  EditorModel& model = document->model();
  TimelineView* timeline = windowOf(*document).rootView()->timeline();
  // The entry titled `title` of a context menu opened now.
  const auto entry = [timeline](const QString& title) -> QAction* {
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 10), timeline->mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(timeline, &event);
    QMenu* menu = timeline->findChildren<QMenu*>().last();
    for (QAction* action : menu->actions())
      if (action->text() == title) return action;
    return nullptr;
  };
  QAction* cut = entry(QStringLiteral("Cut"));
  ASSERT_TRUE(cut);
  EXPECT_FALSE(cut->isEnabled());

  model.setSelection(quar::FrameRange(0, 4800), std::nullopt);
  cut = entry(QStringLiteral("Cut"));
  ASSERT_TRUE(cut && cut->isEnabled());
  cut->trigger();
  EXPECT_EQ(model.content().frameCount(), 48000 - 4800);
  for (QMenu* menu : timeline->findChildren<QMenu*>()) menu->close();
}

#include "EditorCommandsTest.moc"

// Every command of the menus that makes new audio, on a document whose disk is full (fragmented,
// so that a splice compacts): the command fails with the alert naming the folder, and the
// document, its selection, channels, markers and envelopes, the undo history and the clipboard
// are as they were. Trim to Selection and Paste as New Document make no audio; recording is the
// recorder's.
TEST_F(EditorCommandsTest, CommandsThatFindTheDiskFullChangeNothingAndSaySo) {
  using EditorModelFixtureSupport::numbered;
  using EditorModelFixtureSupport::Snapshot;
  struct Case {
    const char* name;
    const char* command;
    std::function<void(EditorModel&)> prepare = [](EditorModel&) {};
    std::function<void(SheetContainer&)> sheet = {};  // for a command that opens a sheet: what to do in it
    int channels = 2;
  };
  const auto oneChannel = [](EditorModel& m) { m.setActiveChannels({0}); };
  const auto clip = [](int channels, double rate) {
    return [channels, rate](EditorModel&) { AudioClipboard::shared().store(numbered(20000, channels, rate)); };
  };
  const auto accept = [](SheetContainer&) {};
  const std::vector<Case> cases{
      {.name = "cut, one channel", .command = "cut", .prepare = oneChannel},
      {.name = "cut", .command = "cut"},
      {.name = "delete, one channel", .command = "delete", .prepare = oneChannel},
      {.name = "delete", .command = "delete"},
      {.name = "paste", .command = "paste", .prepare = clip(2, 48000)},
      {.name = "paste, mono clip", .command = "paste", .prepare = clip(1, 48000)},
      {.name = "paste, clip at 44.1 kHz", .command = "paste", .prepare = clip(2, 44100)},
      {.name = "paste mix", .command = "pasteMix", .prepare = clip(2, 48000)},
      {.name = "insert silence", .command = "insertSilence", .sheet = accept},
      {.name = "swap channels", .command = "swapChannels"},
      {.name = "gain", .command = "showGain", .sheet = accept},
      {.name = "normalize", .command = "showNormalize", .sheet = accept},
      {.name = "fade in", .command = "fadeIn"},
      {.name = "fade out", .command = "fadeOut"},
      {.name = "fade", .command = "showFade", .sheet = accept},
      {.name = "silence", .command = "silenceSelection"},
      {.name = "reverse", .command = "reverseAudio"},
      {.name = "invert polarity", .command = "invertPolarity"},
      {.name = "remove DC offset", .command = "removeDCOffset"},
      {.name = "convert to mono", .command = "convertToMono"},
      {.name = "convert to stereo", .command = "convertToStereo", .channels = 1},
      {.name = "change sample rate", .command = "changeSampleRate", .sheet = accept},
      {.name = "time and pitch",
       .command = "showTimePitch",
       .sheet =
           [](SheetContainer& sheet) {
             EditorTestSupport::slide(*sheet.findChild<ParamSlider*>(QStringLiteral("tempoSlider")), 6000);
           }},
      {.name = "apply gain envelope",
       .command = "applyGainEnvelope",
       .prepare =
           [](EditorModel& m) {
             quar::EnvelopeSet envelopes;
             envelopes.master = quar::GainEnvelope({quar::EnvelopePoint(100, -6), quar::EnvelopePoint(30000, 0)});
             m.setEnvelopes(envelopes);
           }},
      {.name = "apply effects rack",
       .command = "applyEffectsRack",
       .prepare = [](EditorModel& m) { m.rack().add(quar::defaultSettings(quar::EffectKind::distortion)); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FullStore store;
    AudioClipboard::shared().store(numbered(100, 2));
    AudioDocument* document = open(fragmented(numbered(40000, c.channels)));
    EditorModel& model = document->model();
    EditorWindowController& window = windowOf(*document);
    model.setSelection(quar::FrameRange(10000, 20000), std::nullopt);
    model.addMarker(15000);
    document->undoManager()->removeAllActions();
    c.prepare(model);
    const quar::AudioContent content = model.content();
    const Snapshot before(model);
    const int64_t clipboardChanges = AudioClipboard::shared().changeCount();
    store.fill();

    const auto run = [&] {
      choose(window, QString::fromUtf8(c.command));
      if (!c.sheet) return;
      SheetContainer* sheet = nullptr;
      for (SheetContainer* shown : window.window()->findChildren<SheetContainer*>())
        if (shown->isVisible()) sheet = shown;
      ASSERT_TRUE(sheet);
      c.sheet(*sheet);
      sheet->actionButton()->click();
    };
    run();
    ASSERT_TRUE(waitUntilIdle(*document));
    QMessageBox* alert = waitForDialog<QMessageBox>(document->windowForSheet(), QStringLiteral("errorAlert"));
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->text(), store.alertText());
    EXPECT_TRUE(model.content().isIdentical(content));
    EXPECT_TRUE(Snapshot(model) == before);
    EXPECT_FALSE(document->undoManager()->canUndo());
    EXPECT_FALSE(document->undoManager()->canRedo());
    EXPECT_EQ(AudioClipboard::shared().changeCount(), clipboardChanges);
    delete alert;
    // With room again, the same command goes through.
    store.empty();
    run();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !model.jobs().busy() && document->undoManager()->canUndo(); }, 20000));
    EXPECT_TRUE(visibleTopLevels<QMessageBox>(QStringLiteral("errorAlert")).empty());
    document->close();
  }
}
