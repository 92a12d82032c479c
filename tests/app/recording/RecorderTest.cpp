#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTimeZone>

#include "RecordingTestSupport.h"
#include "editor/EditorModelFixture.h"
#include "platform/ErrorAlert.h"
#include "recording/Recorder.h"

using quar::AudioContent;
using quar::FrameRange;
using namespace EditorModelFixtureSupport;
using RecordingTestSupport::FakeBackend;
using RecordingTestSupport::readFile;

namespace {

AudioDeviceInfo inputDevice(int id, const char* name, int channels, double rate) {
  return {id, std::string("test:") + name, name, channels, 0, rate};
}

// An input whose every channel holds the level that the test sets.
struct Level {
  std::shared_ptr<std::atomic<float>> value = std::make_shared<std::atomic<float>>(0.0f);

  NullAudioBackend::InputSource source() const {
    return [value = value](float* const* inputs, int channels, int frames) {
      for (int c = 0; c < channels; ++c) std::fill_n(inputs[c], frames, value->load());
    };
  }
};

} // namespace

class RecorderTest : public EditorModelFixture {
protected:
  void SetUp() override {
    EditorModelFixture::SetUp();
    QDir(Recorder::recordingsFolder()).removeRecursively();
    backend.setInputSource(level.source());
  }

  // A model over `content` and a recorder on `device` that records into it.
  void use(AudioContent content, AudioBackend& device) {
    recorder.reset();
    model = makeModel(std::move(content));
    recorder = std::make_unique<Recorder>(device);
    recorder->setModel(model.get());
  }
  void use(AudioContent content) { use(std::move(content), backend); }

  // Runs `frames` frames through the input into the take buffer.
  void capture(int64_t frames) {
    backend.pump(frames);
    recorder->engine().drain();
  }

  // A device layer with `devices`; the recorder on the previous one goes first.
  FakeBackend& makeFake(std::vector<AudioDeviceInfo> devices, std::optional<int> defaultInput) {
    recorder.reset();
    fake = std::make_unique<FakeBackend>(std::move(devices), defaultInput);
    return *fake;
  }

  static QStringList safetyFiles() { return QDir(Recorder::recordingsFolder()).entryList(QDir::Files); }

  NullAudioBackend backend{NullAudioBackend::Clock::manual};
  std::unique_ptr<FakeBackend> fake;
  Level level;
  std::unique_ptr<EditorModel> model;
  std::unique_ptr<Recorder> recorder;  // after the model: goes first
};

TEST_F(RecorderTest, ArmingOpensTheInputWithTheChoiceThatFitsTheDocument) {
  FakeBackend& fake = makeFake({{0, "test:out", "Speakers", 0, 2, 48000}, inputDevice(4, "Interface", 4, 96000)}, 4);
  struct Case {
    int documentChannels;
    std::vector<int> inputs;
  };
  for (const Case& c : {Case{1, {0}}, Case{2, {0, 1}}, Case{6, {0, 1}}}) {
    SCOPED_TRACE(c.documentChannels);
    use(numbered(100, c.documentChannels), fake);
    recorder->arm();
    EXPECT_TRUE(recorder->isArmed());
    EXPECT_EQ(recorder->devices(), (std::vector<InputDevice>{{4, "test:Interface", "Interface", 4, 96000}}));
    EXPECT_EQ(recorder->deviceID(), 4);
    ASSERT_TRUE(recorder->inputChoice());
    EXPECT_EQ(recorder->inputChoice()->channels, c.inputs);
    ASSERT_TRUE(recorder->buffer());
    EXPECT_EQ(recorder->buffer()->outputChannels(), c.documentChannels);
    EXPECT_EQ(recorder->deviceSampleRate(), 96000);
    EXPECT_TRUE(recorder->engine().isRunning());
    EXPECT_EQ(recorder->errorMessage(), std::nullopt);
  }
}

TEST_F(RecorderTest, TheDefaultInputIsChosenEvenWhenNotListed) {
  const std::vector<AudioDeviceInfo> devices{{0, "test:out", "Speakers", 0, 2, 48000},
                                             inputDevice(3, "Mic", 1, 44100), inputDevice(5, "Line", 2, 48000)};
  struct Case {
    std::optional<int> defaultInput;
    int chosen;
    bool opened;
  };
  // 9: a default input the list lacks is chosen, and opening it says why it cannot record.
  for (const Case& c : {Case{5, 5, true}, Case{9, 9, false}, Case{std::nullopt, 3, true}}) {
    SCOPED_TRACE(c.chosen);
    FakeBackend& fake = makeFake(devices, c.defaultInput);
    use(numbered(100), fake);
    recorder->arm();
    EXPECT_EQ(recorder->deviceID(), c.chosen);
    EXPECT_EQ(recorder->engine().isRunning(), c.opened);
    EXPECT_EQ(recorder->errorMessage().has_value(), !c.opened);
    if (!c.opened) {
      EXPECT_TRUE(recorder->errorMessage()->startsWith(QStringLiteral("Couldn\u2019t open the input: ")));
    }
    EXPECT_EQ(recorder->inputChoices().empty(), !c.opened);
  }
  // A device chosen before and still listed stays chosen over the default.
  FakeBackend& fake = makeFake(devices, 9);
  use(numbered(100), fake);
  recorder->setDeviceID(3);
  recorder->arm();
  EXPECT_EQ(recorder->deviceID(), 3);
  EXPECT_TRUE(recorder->engine().isRunning());
  // Without any input device the default is still the choice, and the bar says none was found.
  FakeBackend& none = makeFake({{0, "test:out", "Speakers", 0, 2, 48000}}, 9);
  use(numbered(100), none);
  recorder->arm();
  EXPECT_EQ(recorder->deviceID(), 9);
  EXPECT_EQ(recorder->errorMessage(), QStringLiteral("No audio input devices found."));
}

TEST_F(RecorderTest, TheListIsReadAfreshOnArmingAndTheChosenDeviceFollowsItsIdentifier) {
  FakeBackend& fake = makeFake({inputDevice(3, "Mic", 1, 44100), inputDevice(5, "Line", 2, 48000)}, 3);
  use(numbered(100), fake);
  recorder->arm();
  EXPECT_EQ(fake.refreshes, 1);
  recorder->setDeviceID(5);  // armed and idle: re-opens
  EXPECT_EQ(recorder->deviceSampleRate(), 48000);
  recorder->arm();  // the input is open: the list is not read afresh
  EXPECT_EQ(fake.refreshes, 1);
  recorder->disarm();
  fake.setDevices({inputDevice(1, "Headset", 1, 16000), inputDevice(2, "Line", 2, 48000), inputDevice(5, "Mic", 1, 44100)});
  recorder->arm();
  EXPECT_EQ(fake.refreshes, 2);
  EXPECT_EQ(recorder->deviceID(), 2);  // "Line", now with another id
}

TEST_F(RecorderTest, AnInputConnectedAfterPlaybackIsListedAtTheNextArming) {
  // The shared device, as the document's playback uses it, reads its list afresh only with no
  // stream open.
  auto& shared = dynamic_cast<NullAudioBackend&>(AudioBackend::shared());
  shared.setInput(0, 48000);  // no microphone yet
  use(numbered(48000), shared);
  model->play(false);
  shared.pump(4096);
  model->stop(true);
  shared.connectInput(1, 44100);  // plugged in with the document open
  recorder->arm();
  const std::vector<InputDevice> devices = recorder->devices();
  const std::optional<QString> error = recorder->errorMessage();
  recorder->disarm();
  shared.setInput(2, NullAudioBackend::deviceRate);
  EXPECT_EQ(devices, (std::vector<InputDevice>{{1, "null:input", "Null Input", 1, 44100}}));
  EXPECT_EQ(error, std::nullopt);
}

TEST_F(RecorderTest, ArmingFailuresAreShownOnTheOpenBar) {
  struct Case {
    const char* name;
    int inputChannels;
    double inputRate;
    std::optional<MicrophoneAccess::Status> access;
    QString message;
  };
  const Case cases[] = {
      {"no device", 0, 48000, std::nullopt, QStringLiteral("No audio input devices found.")},
      {"no audio", 2, 0, std::nullopt,
       QStringLiteral("Couldn\u2019t open the input: Unsupported format: the input device isn\u2019t delivering audio")},
      {"no access", 2, 48000, MicrophoneAccess::Status::denied,
       QStringLiteral("Quarnel doesn\u2019t have microphone access. Allow it in System Settings \u25B8 Privacy & "
                      "Security \u25B8 Microphone.")},
      {"restricted", 2, 48000, MicrophoneAccess::Status::restricted, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    backend.setInput(c.inputChannels, c.inputRate);
    use(numbered(100));
    if (c.access) recorder->setMicrophoneAccess({[status = *c.access] { return status; }, {}});
    recorder->arm();
    EXPECT_TRUE(recorder->isArmed());
    EXPECT_FALSE(recorder->buffer());
    ASSERT_TRUE(recorder->errorMessage());
    if (!c.message.isEmpty()) {
      EXPECT_EQ(*recorder->errorMessage(), c.message);
    }
    recorder->start();  // without an opened input: nothing
    EXPECT_FALSE(recorder->isRecording());
  }
}

TEST_F(RecorderTest, AnUndeterminedPermissionWaitsForTheAnswer) {
  use(numbered(100));
  MicrophoneAccess::Answer pending;
  recorder->setMicrophoneAccess({[] { return MicrophoneAccess::Status::notDetermined; },
                                 [&](MicrophoneAccess::Answer answer) { pending = std::move(answer); }});
  recorder->toggle();
  EXPECT_FALSE(recorder->isArmed());
  ASSERT_TRUE(pending);
  pending(true);
  EXPECT_TRUE(recorder->isArmed());
  EXPECT_TRUE(recorder->buffer());
  EXPECT_FALSE(recorder->isRecording());  // the first toggle only opens the bar
}

TEST_F(RecorderTest, PeaksFallByATickAndClipsStayUntilReset) {
  use(numbered(100));
  recorder->arm();
  level.value->store(1.0f);
  capture(512);
  recorder->poll();
  EXPECT_EQ(recorder->peaksDB(), (std::vector<double>{0, 0}));
  EXPECT_EQ(recorder->clipped(), (std::vector<bool>{true, true}));
  level.value->store(0.0f);
  capture(512);
  recorder->poll();
  EXPECT_EQ(recorder->peaksDB(), (std::vector<double>{-1.2, -1.2}));
  for (int tick = 0; tick < 200; ++tick) recorder->poll();
  EXPECT_EQ(recorder->peaksDB(), (std::vector<double>{-144, -144}));
  EXPECT_EQ(recorder->clipped(), (std::vector<bool>{true, true}));
  recorder->resetClipIndicators();
  EXPECT_EQ(recorder->clipped(), (std::vector<bool>{false, false}));
  recorder->poll();
  EXPECT_EQ(recorder->clipped(), (std::vector<bool>{false, false}));
  recorder->disarm();
  EXPECT_TRUE(recorder->peaksDB().empty());
  EXPECT_FALSE(recorder->buffer());
  EXPECT_FALSE(recorder->engine().isRunning());
}

TEST_F(RecorderTest, ATakeIsShownLiveSavedMeanwhileAndCommittedAtStop) {
  use(numbered(30000));
  recorder->toggle();
  level.value->store(0.5f);
  recorder->toggle();
  ASSERT_TRUE(recorder->isRecording());
  ASSERT_TRUE(recorder->safetyPath());
  const QString path = *recorder->safetyPath();
  EXPECT_EQ(QFileInfo(path).absolutePath(), QDir(Recorder::recordingsFolder()).absolutePath());
  EXPECT_TRUE(QFileInfo(path).fileName().startsWith(QStringLiteral("Take ")));
  EXPECT_EQ(model->recordHead(), 0);

  capture(4800);
  recorder->poll();
  recorder->poll();
  EXPECT_EQ(recorder->elapsedFrames(), 4800);
  EXPECT_EQ(model->content().frameCount(), 30000);  // a snapshot every third tick
  recorder->poll();
  EXPECT_EQ(model->content().frameCount(), 34800);
  EXPECT_EQ(model->recordHead(), 4800);
  EXPECT_EQ(model->content().sample(0, 100), 0.5f);
  EXPECT_EQ(readFile(path.toStdString())[0].size(), 4800u);  // the safety file keeps up

  capture(1200);
  recorder->toggle();
  EXPECT_FALSE(recorder->isRecording());
  EXPECT_TRUE(QFileInfo::exists(path));  // until the take is in the document
  ASSERT_TRUE(waitUntilIdle(*model));
  EXPECT_EQ(model->content().frameCount(), 36000);
  EXPECT_EQ(model->selection(), FrameRange(0, 6000));
  EXPECT_EQ(model->content().sample(1, 5999), 0.5f);
  EXPECT_EQ(model->content().sample(1, 6000), 10001);
  EXPECT_FALSE(QFileInfo::exists(path));
  EXPECT_TRUE(recorder->isArmed());  // ready for the next take
  EXPECT_TRUE(recorder->engine().isRunning());
  EXPECT_EQ(recorder->errorMessage(), std::nullopt);
  EXPECT_EQ(undo.undoMenuItemTitle(), QStringLiteral("Undo Record"));
}

TEST_F(RecorderTest, TheTakeHasTheDocumentsChannelsOrTheInputsForAnEmptyDocument) {
  struct Case {
    int documentChannels;
    int64_t documentFrames;
    std::vector<int> inputs;
    int takeChannels;
  };
  for (const Case& c : {Case{2, 1000, {0}, 2}, Case{1, 1000, {0, 1}, 1}, Case{2, 0, {0}, 1}, Case{1, 0, {0, 1}, 2}}) {
    SCOPED_TRACE(std::to_string(c.documentChannels) + " " + std::to_string(c.documentFrames));
    use(AudioContent::silence(c.documentFrames, c.documentChannels, 48000));
    recorder->arm();
    recorder->setInputChoice(InputChoice{c.inputs});
    ASSERT_EQ(recorder->buffer()->outputChannels(), c.takeChannels);
    recorder->start();
    level.value->store(0.25f);
    capture(100);
    recorder->stop();
    ASSERT_TRUE(waitUntilIdle(*model));
    EXPECT_EQ(model->content().channelCount(), c.takeChannels);
    EXPECT_EQ(model->content().frameCount(), c.documentFrames + 100);
    EXPECT_EQ(model->content().sample(c.takeChannels - 1, 50), 0.25f);
  }
}

TEST_F(RecorderTest, AChannelCountChangedSinceArmingReopensTheInputAtStart) {
  use(numbered(1000));
  recorder->arm();
  ASSERT_EQ(recorder->buffer()->outputChannels(), 2);
  model->convertChannels(1);
  ASSERT_TRUE(waitUntilIdle(*model));
  recorder->start();
  ASSERT_TRUE(recorder->isRecording());
  EXPECT_EQ(recorder->buffer()->outputChannels(), 1);
  capture(100);
  recorder->stop();
  ASSERT_TRUE(waitUntilIdle(*model));
  EXPECT_EQ(model->content().frameCount(), 1100);
}

TEST_F(RecorderTest, StartingWhileAJobRunsIsRefusedWithABeep) {
  use(numbered(1000));
  recorder->arm();
  const quar::Uuid job = model->jobs().beginExternalBusy(QStringLiteral("Saving"), std::make_shared<ProgressToken>());
  recorder->toggle();
  EXPECT_FALSE(recorder->isRecording());
  EXPECT_EQ(AppTestSupport::beepCount(), 1);
  EXPECT_TRUE(safetyFiles().isEmpty());
  model->jobs().endExternalBusy(job);
}

TEST_F(RecorderTest, DisarmingDuringATakeFinishesItFirst) {
  use(numbered(1000));
  recorder->arm();
  recorder->start();
  level.value->store(0.5f);
  capture(300);
  recorder->disarm();
  EXPECT_FALSE(recorder->isRecording());
  EXPECT_FALSE(recorder->isArmed());
  ASSERT_TRUE(waitUntilIdle(*model));
  EXPECT_EQ(model->content().frameCount(), 1300);
  EXPECT_TRUE(safetyFiles().isEmpty());
}

TEST_F(RecorderTest, ATakeThatCannotBeAddedStaysInItsSafetyFile) {
  use(numbered(1000));
  recorder->arm();
  recorder->start();
  level.value->store(0.5f);
  capture(300);
  const QString path = *recorder->safetyPath();
  // A save started during the take: the job runner is busy when the take ends.
  const quar::Uuid job = model->jobs().beginExternalBusy(QStringLiteral("Saving"), std::make_shared<ProgressToken>());
  recorder->stop();
  model->jobs().endExternalBusy(job);
  EXPECT_EQ(AppTestSupport::beepCount(), 1);
  EXPECT_EQ(model->content().frameCount(), 1000);
  EXPECT_EQ(readFile(path.toStdString())[0].size(), 300u);
  EXPECT_EQ(recorder->errorMessage(),
            QStringLiteral("The take wasn\u2019t added to the document. It is kept in \u201C%1\u201D.").arg(path));

  // With the bar closed, the document presents the message.
  recorder->start();
  capture(100);
  const QString second = *recorder->safetyPath();
  EXPECT_NE(second, path);
  const quar::Uuid again = model->jobs().beginExternalBusy(QStringLiteral("Saving"), std::make_shared<ProgressToken>());
  recorder->disarm();
  model->jobs().endExternalBusy(again);
  ASSERT_EQ(presented.size(), 1u);
  EXPECT_TRUE(ErrorAlert::description(presented[0]).contains(second));
  EXPECT_TRUE(QFileInfo::exists(second));
}

TEST_F(RecorderTest, ATakeKeptInASafetyFileThatStoppedSaysOnlyItsStartIsThere) {
  use(numbered(1000));
  recorder->arm();
  recorder->start();
  const QString path = *recorder->safetyPath();
  {
    RecordingTestSupport::FileSizeLimit limit(QFileInfo(path).size() + 16 * 1024);
    if (!limit.active()) GTEST_SKIP() << "the file size limit cannot be set here";
    capture(48000);
  }
  recorder->poll();
  const quar::Uuid job = model->jobs().beginExternalBusy(QStringLiteral("Saving"), std::make_shared<ProgressToken>());
  recorder->stop();
  model->jobs().endExternalBusy(job);
  EXPECT_LT(readFile(path.toStdString())[0].size(), 48000u);
  EXPECT_EQ(recorder->errorMessage(),
            QStringLiteral("The take wasn\u2019t added to the document. Only its start, up to where the safety copy "
                           "failed, is kept in \u201C%1\u201D.")
                .arg(path));
}

TEST_F(RecorderTest, ACancelledConversionKeepsTheSafetyFile) {
  use(numbered(30000, 2, 44100));
  recorder->arm();
  recorder->start();
  capture(48000);
  const QString path = *recorder->safetyPath();
  recorder->stop();
  ASSERT_TRUE(model->jobs().busy());
  EXPECT_EQ(model->jobs().busy()->title, QStringLiteral("Record (converted from 48000 Hz)"));
  model->jobs().busy()->token->cancel();
  ASSERT_TRUE(waitUntilIdle(*model));
  EXPECT_EQ(model->content().frameCount(), 30000);
  EXPECT_TRUE(QFileInfo::exists(path));
  EXPECT_TRUE(recorder->errorMessage()->contains(path));
  EXPECT_TRUE(presented.empty());
}

TEST_F(RecorderTest, OverrunsAreShownAsAnError) {
  backend.setBufferFrames(static_cast<int>(InputEngine::ringFrames(48000, 2) + 500));
  use(numbered(1000));
  recorder->arm();
  capture(InputEngine::ringFrames(48000, 2) + 500);
  recorder->poll();
  EXPECT_EQ(recorder->errorMessage(), QStringLiteral("The input overran: 500 frames of audio were lost."));
  backend.setBufferFrames(512);
}

TEST_F(RecorderTest, DeviceAndInputChangesWaitForTheEndOfATake) {
  FakeBackend& fake = makeFake({inputDevice(3, "Mic", 1, 44100), inputDevice(5, "Line", 2, 48000)}, 5);
  use(numbered(1000), fake);
  recorder->arm();
  const std::shared_ptr<TakeBuffer> first = recorder->buffer();
  recorder->setInputChoice(InputChoice{{1}});
  EXPECT_NE(recorder->buffer(), first);  // idle: re-opened
  recorder->start();
  const std::shared_ptr<TakeBuffer> recording = recorder->buffer();
  recorder->setDeviceID(3);
  recorder->arm();
  EXPECT_EQ(recorder->buffer(), recording);
  EXPECT_TRUE(recorder->isRecording());
  recorder->stop();
}

TEST_F(RecorderTest, MonitoringThatCannotOpenTheOutputSaysSo) {
  use(numbered(1000));
  recorder->arm();
  recorder->setMonitoring(true);
  EXPECT_TRUE(recorder->engine().isMonitoring());
  recorder->setMonitoring(false);
  EXPECT_FALSE(recorder->engine().isMonitoring());

  FakeBackend& fake = makeFake({inputDevice(3, "Mic", 1, 44100)}, 3);
  use(numbered(1000), fake);
  recorder->setMonitoring(true);
  recorder->arm();
  EXPECT_EQ(recorder->errorMessage(),
            QStringLiteral("Couldn\u2019t open the output for monitoring: No audio output device"));
}

TEST_F(RecorderTest, SafetyFilesAreNamedAfterTheTimeInUTC) {
  const QDateTime start(QDate(2026, 12, 8), QTime(7, 56, 9), QTimeZone::utc());
  EXPECT_EQ(Recorder::safetyFileName(start), QStringLiteral("Take 2026-12-08T07.56.09.caf"));
  EXPECT_EQ(Recorder::safetyFileName(start.toOffsetFromUtc(3600)), QStringLiteral("Take 2026-12-08T07.56.09.caf"));
  EXPECT_TRUE(Recorder::recordingsFolder().endsWith(QStringLiteral("/Quarnel/Recordings")));
}
