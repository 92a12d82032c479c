#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMainWindow>
#include <QShortcut>
#include <QStandardItemModel>
#include <QTest>
#include <QToolButton>

#include <system_error>

#include "RecordingTestSupport.h"
#include "editor/EditorModelFixture.h"
#include "recording/InputMeters.h"
#include "recording/Recorder.h"
#include "recording/RecordingBar.h"
#include "views/ViewTestSupport.h"

using quar::AudioContent;
using quar::FrameRange;
using namespace EditorModelFixtureSupport;

TEST(RecordingBarTextTest, Formatting) {
  EXPECT_EQ(RecordingBar::rateText(48000), QStringLiteral("48 kHz"));
  EXPECT_EQ(RecordingBar::rateText(44100), QStringLiteral("44.1 kHz"));
  EXPECT_EQ(RecordingBar::rateText(88200), QStringLiteral("88.2 kHz"));
  EXPECT_EQ(RecordingBar::rateNote(48000, 100, 44100),
            QStringLiteral("The input runs at 48 kHz; the take will be converted to 44.1 kHz when you stop."));
  EXPECT_EQ(RecordingBar::rateNote(44100, 100, 44100), std::nullopt);  // same rate
  EXPECT_EQ(RecordingBar::rateNote(0, 100, 44100), std::nullopt);      // unknown rate
  EXPECT_EQ(RecordingBar::rateNote(48000, 0, 44100), std::nullopt);    // empty document
  EXPECT_EQ(RecordingBar::elapsedText(72000, 48000), QStringLiteral("0:01.5"));
  EXPECT_EQ(RecordingBar::elapsedText(5, 0), QStringLiteral("0:05.0"));  // a rate of 0 counts as 1
  EXPECT_EQ(RecordingBar::statusText(true), QStringLiteral("Recording"));
  EXPECT_EQ(RecordingBar::statusText(false), QStringLiteral("Ready \u2014 set levels, then record"));
  EXPECT_EQ(RecordingBar::recordToolTip(true), QStringLiteral("Stop recording (Ctrl+R or Space)"));
  EXPECT_EQ(RecordingBar::recordToolTip(false), QStringLiteral("Start recording (Ctrl+R)"));
  EXPECT_TRUE(RecordingBar::offersPrivacySettings(QStringLiteral("Allow it in System Settings \u25B8 Privacy")));
  EXPECT_FALSE(RecordingBar::offersPrivacySettings(QStringLiteral("No audio input devices found.")));
}

TEST(InputMetersTest, LevelsAndGeometry) {
  const std::pair<double, double> levels[] = {{-70, 0}, {-60, 0}, {-30, 0.5}, {0, 1}, {6, 1}, {NAN, 0}};
  for (const auto& [db, fraction] : levels) EXPECT_DOUBLE_EQ(InputMeters::fraction(db), fraction) << db;
  const QSizeF size(200, 21);
  EXPECT_EQ(InputMeters::barRect(0, 2, size), QRectF(0, 2, 188, 7));  // two rows, 17 points high, centred
  EXPECT_EQ(InputMeters::barRect(1, 2, size), QRectF(0, 12, 188, 7));
  EXPECT_EQ(InputMeters::dotRect(1, 2, size), QRectF(192, 11.5, 8, 8));
  EXPECT_EQ(InputMeters::barRect(0, 0, size), QRectF(0, 7, 200, 7));  // the placeholder spans the width
}

class RecordingBarTest : public EditorModelFixture {
protected:
  void SetUp() override {
    EditorModelFixture::SetUp();
    backend.setInputSource([loud = loud](float* const* inputs, int channels, int frames) {
      for (int c = 0; c < channels; ++c) std::fill_n(inputs[c], frames, loud->load() ? 1.0f : 0.0f);
    });
  }

  // A model over `content`, an armed recorder on the null device and the bar over both.
  void show(AudioContent content) {
    model = makeModel(std::move(content));
    recorder = std::make_unique<Recorder>(backend);
    recorder->setModel(model.get());
    recorder->arm();
    bar = std::make_unique<RecordingBar>(*recorder, *model);
  }

  template <typename T>
  T* child(const char* name) const {
    T* widget = bar->findChild<T*>(QString::fromLatin1(name));
    EXPECT_TRUE(widget) << name;
    return widget;
  }
  bool shown(const char* name) const { return !child<QWidget>(name)->isHidden(); }

  NullAudioBackend backend{NullAudioBackend::Clock::manual};
  std::shared_ptr<std::atomic<bool>> loud = std::make_shared<std::atomic<bool>>(false);
  std::unique_ptr<EditorModel> model;
  std::unique_ptr<Recorder> recorder;
  std::unique_ptr<RecordingBar> bar;
};

TEST_F(RecordingBarTest, AnEmptyDocumentShowsNewTakeAndNoRateNote) {
  show(AudioContent(2, 44100));
  EXPECT_TRUE(shown("newTakeLabel"));
  EXPECT_EQ(child<QLabel>("newTakeLabel")->text(), QStringLiteral("New take"));
  EXPECT_FALSE(shown("destinationPicker"));
  EXPECT_FALSE(shown("rateNote"));
  EXPECT_FALSE(shown("errorRow"));
  EXPECT_EQ(child<QComboBox>("devicePicker")->currentText(), QStringLiteral("Null Input"));
  EXPECT_EQ(child<QComboBox>("inputPicker")->currentText(), QStringLiteral("Inputs 1\u20132 (stereo)"));
  EXPECT_EQ(child<QLabel>("statusLabel")->text(), QStringLiteral("Ready \u2014 set levels, then record"));
  EXPECT_EQ(child<QLabel>("elapsedLabel")->text(), QStringLiteral("0:00.0"));
}

TEST_F(RecordingBarTest, ReplaceSelectionNeedsASelection) {
  show(numbered(1000, 2, 44100));
  EXPECT_TRUE(shown("destinationPicker"));
  EXPECT_FALSE(shown("newTakeLabel"));
  auto* destination = child<QComboBox>("destinationPicker");
  const auto* items = qobject_cast<QStandardItemModel*>(destination->model());
  EXPECT_EQ(destination->itemText(1), QStringLiteral("Replace Selection"));
  EXPECT_FALSE(items->item(1)->isEnabled());
  EXPECT_TRUE(items->item(0)->isEnabled());
  EXPECT_TRUE(items->item(2)->isEnabled());
  model->setSelection(FrameRange(10, 20), std::nullopt);
  EXPECT_TRUE(items->item(1)->isEnabled());
  destination->activated(2);
  EXPECT_EQ(recorder->mode(), RecordMode::append);
  EXPECT_EQ(child<QLabel>("rateNote")->text(),
            QStringLiteral("The input runs at 48 kHz; the take will be converted to 44.1 kHz when you stop."));
  EXPECT_TRUE(shown("rateNote"));
}

TEST_F(RecordingBarTest, ErrorsReplaceTheRateNoteAndOnlyPrivacyMessagesOfferTheSettings) {
  backend.setBufferFrames(static_cast<int>(InputEngine::ringFrames(48000, 2) + 10));
  show(numbered(1000, 2, 44100));
  backend.pump(InputEngine::ringFrames(48000, 2) + 10);
  recorder->engine().drain();
  recorder->poll();  // an overrun
  EXPECT_TRUE(shown("errorRow"));
  EXPECT_FALSE(shown("rateNote"));
  EXPECT_EQ(child<QLabel>("errorLabel")->text(), *recorder->errorMessage());
  EXPECT_FALSE(shown("privacyButton"));
  backend.setBufferFrames(512);

  recorder->setMicrophoneAccess({[] { return MicrophoneAccess::Status::denied; }, {}});
  recorder->arm();
  EXPECT_TRUE(shown("privacyButton"));
  int opened = 0;
  RecordingBar::setPrivacySettingsOpener([&] { ++opened; });
  QTest::mouseClick(child<QAbstractButton>("privacyButton"), Qt::LeftButton);
  EXPECT_EQ(opened, 1);
  RecordingBar::setPrivacySettingsOpener({});
}

TEST_F(RecordingBarTest, WhileRecordingOnlyRecordAndMonitoringStayLive) {
  show(numbered(1000));
  auto* record = child<QAbstractButton>("recordButton");
  EXPECT_TRUE(record->isEnabled());
  EXPECT_EQ(record->toolTip(), QStringLiteral("Start recording (Ctrl+R)"));
  QTest::mouseClick(record, Qt::LeftButton);
  ASSERT_TRUE(recorder->isRecording());
  EXPECT_EQ(record->toolTip(), QStringLiteral("Stop recording (Ctrl+R or Space)"));
  EXPECT_EQ(child<QLabel>("statusLabel")->text(), QStringLiteral("Recording"));
  for (const char* name : {"devicePicker", "inputPicker", "destinationPicker", "closeButton"})
    EXPECT_FALSE(child<QWidget>(name)->isEnabled()) << name;
  EXPECT_TRUE(child<QWidget>("monitoringToggle")->isEnabled());
  child<QToolButton>("monitoringToggle")->click();
  EXPECT_TRUE(recorder->monitoring());
  backend.pump(48000);
  recorder->engine().drain();
  recorder->poll();
  EXPECT_EQ(child<QLabel>("elapsedLabel")->text(), QStringLiteral("0:01.0"));
  QTest::mouseClick(record, Qt::LeftButton);
  EXPECT_FALSE(recorder->isRecording());
  ASSERT_TRUE(waitUntilIdle(*model));
  QTest::mouseClick(child<QToolButton>("closeButton"), Qt::LeftButton);
  EXPECT_FALSE(recorder->isArmed());
  EXPECT_FALSE(child<QAbstractButton>("recordButton")->isEnabled());  // no input any more
}

TEST_F(RecordingBarTest, ASafetyFileThatCannotBeWrittenIsToldAtOnceWhileTheTakeGoesOn) {
  show(numbered(1000));
  loud->store(true);
  QTest::mouseClick(child<QAbstractButton>("recordButton"), Qt::LeftButton);
  ASSERT_TRUE(recorder->isRecording());
  const QString path = *recorder->safetyPath();
  EXPECT_FALSE(shown("errorRow"));
  {
    // The disk fills up 32 KB into the take (two channels of 32-bit samples: 4096 frames).
    RecordingTestSupport::FileSizeLimit limit(QFileInfo(path).size() + 32 * 1024);
    if (!limit.active()) GTEST_SKIP() << "the file size limit cannot be set here";
    backend.pump(48000);
    recorder->engine().drain();
  }
  recorder->poll();  // the next 1/30 s tick tells it
  EXPECT_TRUE(shown("errorRow"));
  EXPECT_EQ(child<QLabel>("errorLabel")->text(),
            QStringLiteral("The safety copy of this take can\u2019t be written to \u201C%1\u201D: %2. Recording goes "
                           "on in memory; stop the take to keep it.")
                .arg(QDir::toNativeSeparators(QFileInfo(path).absolutePath()),
                     QString::fromStdString(std::error_code(EFBIG, std::generic_category()).message())));
  EXPECT_TRUE(recorder->isRecording());
  EXPECT_EQ(child<QLabel>("statusLabel")->text(), QStringLiteral("Recording"));

  // Nothing of the take is lost: it goes on in memory and all of it reaches the document.
  backend.pump(24000);
  recorder->engine().drain();
  recorder->poll();
  EXPECT_EQ(recorder->elapsedFrames(), 72000);
  QTest::mouseClick(child<QAbstractButton>("recordButton"), Qt::LeftButton);
  ASSERT_TRUE(waitUntilIdle(*model));
  EXPECT_EQ(model->content().frameCount(), 73000);
  EXPECT_EQ(model->content().sample(1, 71999), 1.0f);  // inserted at the cursor, 0
  EXPECT_FALSE(QFileInfo::exists(path));
}

TEST_F(RecordingBarTest, PickersChangeTheRecordersChoices) {
  show(numbered(1000));
  auto* input = child<QComboBox>("inputPicker");
  ASSERT_EQ(input->count(), 3);
  EXPECT_EQ(input->itemText(2), QStringLiteral("Input 2 (mono)"));
  input->activated(2);
  EXPECT_EQ(recorder->inputChoice(), InputChoice{{1}});
  EXPECT_EQ(recorder->buffer()->inputChannels(), std::vector<int>{1});
  EXPECT_EQ(input->currentIndex(), 2);
}

TEST_F(RecordingBarTest, TheMetersFollowTheRecorderAndAClickOnAClipDotResetsIt) {
  show(numbered(1000));
  auto* meters = child<InputMeters>("inputMeters");
  loud->store(true);
  backend.pump(512);
  recorder->engine().drain();
  recorder->poll();
  EXPECT_EQ(meters->peaksDB(), (std::vector<double>{0, 0}));
  EXPECT_EQ(meters->clipped(), (std::vector<bool>{true, true}));
  meters->resize(200, 21);
  QTest::mouseClick(meters, Qt::LeftButton, {}, InputMeters::dotRect(1, 2, meters->size()).center().toPoint());
  EXPECT_EQ(recorder->clipped(), (std::vector<bool>{false, false}));
  EXPECT_EQ(meters->clipped(), (std::vector<bool>{false, false}));
  recorder->disarm();
  EXPECT_TRUE(meters->peaksDB().empty());
}

// The window's Record command carries the one Ctrl+R; the bar adds none, so the key reaches the
// command from inside the bar too.
TEST_F(RecordingBarTest, CtrlRStartsAndStopsThroughTheSingleMenuShortcut) {
  show(numbered(1000));
  QMainWindow window;
  auto* record = new QAction(QStringLiteral("Record"), &window);
  record->setShortcut(QKeySequence(QStringLiteral("Ctrl+R")));
  QObject::connect(record, &QAction::triggered, recorder.get(), &Recorder::toggle);
  window.addAction(record);
  bar->setParent(&window);
  window.setCentralWidget(bar.release());
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  auto* picker = window.findChild<QComboBox*>(QStringLiteral("devicePicker"));
  picker->setFocus();
  EXPECT_TRUE(window.findChildren<QShortcut*>().isEmpty());
  for (QAction* action : window.findChildren<QAction*>()) {
    if (action != record) {
      EXPECT_NE(action->shortcut(), record->shortcut());
    }
  }

  QTest::keyClick(picker, Qt::Key_R, Qt::ControlModifier);
  EXPECT_TRUE(recorder->isRecording());
  QTest::keyClick(picker, Qt::Key_R, Qt::ControlModifier);
  EXPECT_FALSE(recorder->isRecording());
  ASSERT_TRUE(waitUntilIdle(*model));
}

// The bar is as wide as the timeline's column: at the window's default and least widths, with
// the inspector beside it or not, and with short or long device names, no two of its controls
// overlap and none is cut by the bar's edge. Pictures of each, light and dark.
TEST_F(RecordingBarTest, NothingOverlapsAtTheWindowsDefaultAndLeastWidths) {
  RecordingTestSupport::FakeBackend longNames({{3, "alsa:hda", "HDA Intel PCH: ALC892 Analog (hw:0,0)", 2, 0, 48000}},
                                              3);
  const std::vector<std::pair<const char*, AudioBackend*>> devices{{"short", &backend}, {"long", &longNames}};
  const char* const controls[] = {"recordButton", "elapsedLabel",      "statusLabel",
                                  "inputMeters",  "devicePicker",      "inputPicker",
                                  "destinationPicker", "monitoringToggle", "closeButton"};
  for (const auto& [names, device] : devices) {
    model = makeModel(numbered(1000));
    recorder = std::make_unique<Recorder>(*device);
    recorder->setModel(model.get());
    recorder->arm();
    bar = std::make_unique<RecordingBar>(*recorder, *model);
    bar->show();
    for (const int width : {1240 - 361, 820 - 361, 1240, 820}) {
      for (const bool dark : {false, true}) {
        const std::string name = std::string(names) + "-" + std::to_string(width) + (dark ? "-dark" : "-light");
        SCOPED_TRACE(name);
        bar->setPalette(ViewTestSupport::palette(dark));
        bar->resize(width, 200);
        QCoreApplication::processEvents();  // the pickers find their row
        bar->resize(width, bar->sizeHint().height());
        QCoreApplication::processEvents();
        std::vector<std::pair<const char*, QRect>> placed;
        for (const char* control : controls) {
          const QWidget* widget = child<QWidget>(control);
          const QRect rect(widget->mapTo(bar.get(), QPoint()), widget->size());
          EXPECT_TRUE(bar->rect().contains(rect)) << control;
          if (qobject_cast<const QLabel*>(widget)) {
            EXPECT_GE(widget->width(), widget->sizeHint().width()) << control;  // the whole text
          }
          for (const auto& [other, otherRect] : placed)
            EXPECT_FALSE(rect.intersects(otherRect)) << control << " over " << other;
          placed.emplace_back(control, rect);
        }
        EXPECT_EQ(child<QLabel>("elapsedLabel")->palette().color(QPalette::WindowText),
                  bar->palette().color(QPalette::WindowText));  // follows a change of palette
        ViewTestSupport::savePicture(bar->grab().toImage(),
                                     QStringLiteral("recording-bar-") + QString::fromStdString(name));
      }
    }
  }
  bar.reset();  // before the device layer they record from
  recorder.reset();
}
