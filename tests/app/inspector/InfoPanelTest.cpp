#include <gtest/gtest.h>

#include <QGridLayout>
#include <QProgressBar>
#include <QTextEdit>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

#include "InspectorTestSupport.h"
#include "inspector/InfoPanel.h"
#include "base/QuarError.h"
#include "inspector/SignalStatsState.h"
#include "platform/JobPool.h"

using EditorModelFixtureSupport::tone;
using quar::AudioContent;
using quar::AudioFileInfo;
using quar::FrameRange;
using Row = InfoPanel::Row;

namespace {

AudioContent silence(int64_t frames, int channels, double rate = 48000) {
  return AudioContent(
      std::vector<std::vector<float>>(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(frames))),
      rate);
}

AudioFileInfo fileInfo() {
  AudioFileInfo info;
  info.url = "/music/take one.wav";
  info.containerName = "WAV";
  info.codecName = "PCM";
  info.bitDepth = 24;
  info.fileSize = 1'234'567;
  info.decoderName = "Native";
  return info;
}

// The texts of a grid, row by row.
std::vector<std::vector<QString>> texts(const QGridLayout* grid) {
  std::vector<std::vector<QString>> rows(static_cast<size_t>(grid->rowCount()));
  for (int r = 0; r < grid->rowCount(); ++r)
    for (int c = 0; c < grid->columnCount(); ++c)
      if (QLayoutItem* item = grid->itemAtPosition(r, c))
        rows[static_cast<size_t>(r)].push_back(static_cast<QLabel*>(item->widget())->text());
  return rows;
}

} // namespace

TEST(InfoPanelRows, FileFactsThenContentFacts) {
  const AudioContent stereo = silence(3'132'000, 2);  // 65.25 s
  const std::vector<Row> content{
      {"Sample rate", "48000 Hz"}, {"Channels", "2"}, {"Duration", "1:05.250"}, {"Samples", "3,132,000"}};
  const auto with = [&](std::vector<Row> rows) {
    rows.insert(rows.end(), content.begin(), content.end());
    return rows;
  };
  EXPECT_EQ(InfoPanel::fileRows(std::nullopt, stereo), with({{"Name", "Untitled (not saved)"}}));
  EXPECT_EQ(InfoPanel::fileRows(fileInfo(), stereo), with({{"Name", "take one.wav"},
                                                           {"Container", "WAV"},
                                                           {"Codec", "PCM"},
                                                           {"Bit depth", "24-bit"},
                                                           {"File size", "1.23 MB"},
                                                           {"Decoder", "Native"}}));

  AudioFileInfo floating = fileInfo();
  floating.bitDepth = 32;
  floating.isFloat = true;
  floating.url.reset();
  floating.fileSize.reset();
  EXPECT_EQ(InfoPanel::fileRows(floating, stereo), with({{"Name", "Untitled"},
                                                         {"Container", "WAV"},
                                                         {"Codec", "PCM"},
                                                         {"Bit depth", "32-bit float"},
                                                         {"Decoder", "Native"}}));

  AudioFileInfo compressed = fileInfo();
  compressed.codecName = "AAC";
  compressed.bitDepth.reset();
  compressed.bitRateKbps = 256;
  EXPECT_EQ(InfoPanel::fileRows(compressed, stereo), with({{"Name", "take one.wav"},
                                                           {"Container", "WAV"},
                                                           {"Codec", "AAC"},
                                                           {"Bitrate", "256 kbps"},
                                                           {"File size", "1.23 MB"},
                                                           {"Decoder", "Native"}}));
}

// The file rows are the file's; where the audio being edited no longer has the file's rate or
// channel count (a conversion, or an undo past one after a save), its rows name the file's too.
TEST(InfoPanelRows, RateAndChannelsNameTheFilesWhereTheyDiffer) {
  struct Case {
    double fileRate;
    int fileChannels;
    AudioContent content;
    const char* rate;
    const char* channels;
  };
  const Case cases[] = {
      {48000, 2, silence(10, 2, 48000), "48000 Hz", "2"},
      {44100, 2, silence(10, 2, 48000), "48000 Hz (file: 44100 Hz)", "2"},
      {48000, 1, silence(10, 2, 48000), "48000 Hz", "2 (file: 1)"},
      {44100.5, 2, silence(10, 2, 44100), "44100 Hz", "2"},  // the same whole number of hertz
      {0, 0, silence(10, 6, 8000), "8000 Hz", "6"},          // the file's format not known
  };
  for (const Case& c : cases) {
    AudioFileInfo info = fileInfo();
    info.sampleRate = c.fileRate;
    info.channelCount = c.fileChannels;
    const std::vector<Row> rows = InfoPanel::fileRows(info, c.content);
    const auto value = [&](const char* label) {
      const auto row = std::ranges::find(rows, QString::fromLatin1(label), &Row::label);
      return row == rows.end() ? QString() : row->value;
    };
    EXPECT_EQ(value("Sample rate"), QString::fromLatin1(c.rate)) << c.fileRate;
    EXPECT_EQ(value("Channels"), QString::fromLatin1(c.channels)) << c.fileChannels;
    EXPECT_EQ(value("Bit depth"), QStringLiteral("24-bit"));
  }
}

TEST(InfoPanelRows, DurationRateAndByteCounts) {
  const auto row = [](const AudioContent& content, const char* label) {
    for (const Row& r : InfoPanel::fileRows(std::nullopt, content))
      if (r.label == QLatin1String(label)) return r.value;
    return QString();
  };
  EXPECT_EQ(row(silence(3600 * 8000, 1, 8000), "Duration"), QStringLiteral("1:00:00.000"));
  EXPECT_EQ(row(silence(5'644'800, 1, 48000), "Duration"), QStringLiteral("1:57.600"));  // 117.6 s exactly
  EXPECT_EQ(row(silence(10, 1, 44100.9), "Sample rate"), QStringLiteral("44100 Hz"));
  EXPECT_EQ(row(silence(0, 1), "Duration"), QStringLiteral("0:00.000"));

  struct Case {
    int64_t bytes;
    const char* text;
  };
  for (const Case& c :
       {Case{0, "0 bytes"}, Case{512, "512 bytes"}, Case{1500, "1.50 kB"}, Case{2'000'000'000, "2.00 GB"}})
    EXPECT_EQ(InfoPanel::byteCount(c.bytes), QString::fromLatin1(c.text)) << c.bytes;
}

class InfoPanelTest : public InspectorFixture {
protected:
  QString value(const QString& name) const {
    const auto* field = find<QTextEdit>(name);
    return field ? field->toPlainText() : QString();
  }
};

TEST_F(InfoPanelTest, StatisticsColumnsAreNamedAfterTheChannels) {
  quar::SignalStats stats;
  const auto sized = [&](int channels) {
    stats.peak.assign(static_cast<size_t>(channels), 0.0f);
    stats.rms.assign(static_cast<size_t>(channels), 0.0);
    stats.dcOffset.assign(static_cast<size_t>(channels), 0.0);
    stats.peakFrame.assign(static_cast<size_t>(channels), 0);
  };
  model = makeModel(silence(10, 6));
  sized(6);
  EXPECT_EQ(InfoPanel::statsRows(stats, *model)[0], (std::vector<QString>{"", "L", "R", "C", "LFE", "Ls", "Rs"}));
  model->load(silence(10, 3), std::nullopt);
  sized(3);
  const auto rows = InfoPanel::statsRows(stats, *model);
  EXPECT_EQ(rows[0], (std::vector<QString>{"", "1", "2", "3"}));
  EXPECT_EQ(rows[1], (std::vector<QString>{"Peak", "–∞", "–∞", "–∞"}));  // silence
  EXPECT_EQ(rows[2], (std::vector<QString>{"RMS", "–∞", "–∞", "–∞"}));
  EXPECT_EQ(rows[3], (std::vector<QString>{"DC offset", "0.0000%", "0.0000%", "0.0000%"}));
}

TEST_F(InfoPanelTest, ShowsTheStatisticsOfTheSelectionOrTheWholeFile) {
  // Full scale on the left, −6 dB on the right, silence after the first half.
  std::vector<std::vector<float>> samples{std::vector<float>(48000), std::vector<float>(48000)};
  for (size_t i = 0; i < 24000; ++i) {
    samples[0][i] = i % 2 ? 1.0f : -1.0f;
    samples[1][i] = 0.5f;
  }
  model = makeModel(AudioContent(samples, 48000));
  DebouncedTask& measuring = show(new InfoPanel(model.get()))->statistics().task();
  auto* progress = find<QProgressBar>("statsProgress");
  auto* grid = find<QWidget>("statsGrid");
  EXPECT_EQ(text("signalTitle"), QStringLiteral("Signal (entire file)"));
  EXPECT_TRUE(progress->isVisible());
  EXPECT_FALSE(grid->isVisible());
  measuring.fireNow();
  ASSERT_TRUE(QTest::qWaitFor([&] { return grid->isVisible(); }));
  EXPECT_FALSE(progress->isVisible());
  const auto layout = static_cast<QGridLayout*>(grid->layout());
  EXPECT_EQ(
      texts(layout),
      (std::vector<std::vector<QString>>{
          {"", "L", "R"}, {"Peak", "0.0", "-6.0"}, {"RMS", "-3.0", "-9.0"}, {"DC offset", "0.0000%", "25.0000%"}}));
  EXPECT_EQ(text("statsNote"), QStringLiteral("Levels in dBFS."));

  model->setSelection(FrameRange(0, 24000));
  EXPECT_EQ(text("signalTitle"), QStringLiteral("Signal (selection)"));
  EXPECT_TRUE(progress->isVisible());
  measuring.fireNow();
  ASSERT_TRUE(QTest::qWaitFor([&] { return grid->isVisible(); }));
  EXPECT_EQ(texts(layout)[2], (std::vector<QString>{"RMS", "0.0", "-6.0"}));
  EXPECT_EQ(texts(layout)[3], (std::vector<QString>{"DC offset", "0.0000%", "50.0000%"}));

  model->setSelection(std::nullopt);
  EXPECT_EQ(text("signalTitle"), QStringLiteral("Signal (entire file)"));
  measuring.fireNow();
  ASSERT_TRUE(QTest::qWaitFor([&] { return grid->isVisible(); }));
  EXPECT_EQ(texts(layout)[2], (std::vector<QString>{"RMS", "-3.0", "-9.0"}));
}

TEST_F(InfoPanelTest, FileGridFollowsTheModel) {
  model = makeModel(silence(48000, 2));
  show(new InfoPanel(model.get()));
  EXPECT_EQ(value("Name"), QStringLiteral("Untitled (not saved)"));
  EXPECT_EQ(value("Samples"), QStringLiteral("48,000"));
  model->setFileInfo(fileInfo());
  EXPECT_EQ(value("Name"), QStringLiteral("take one.wav"));
  EXPECT_EQ(value("Bit depth"), QStringLiteral("24-bit"));
  model->setContent(silence(96000, 1));
  EXPECT_EQ(value("Samples"), QStringLiteral("96,000"));
  EXPECT_EQ(value("Channels"), QStringLiteral("1"));

  AudioFileInfo stereo = fileInfo();
  stereo.sampleRate = 48000;
  stereo.channelCount = 2;
  model->setFileInfo(stereo);
  EXPECT_EQ(value("Channels"), QStringLiteral("1 (file: 2)"));
  model->setContent(silence(96000, 2, 44100));
  EXPECT_EQ(value("Sample rate"), QStringLiteral("44100 Hz (file: 48000 Hz)"));
  EXPECT_EQ(value("Channels"), QStringLiteral("2"));
}

// Audio without frames is never measured: the Signal section shows "–" at once instead of waiting
// for statistics, and again as soon as an edit leaves no frames.
TEST_F(InfoPanelTest, EmptyAudioShowsADashInsteadOfWaiting) {
  model = makeModel(silence(0, 2));
  InfoPanel* panel = show(new InfoPanel(model.get()));
  auto* progress = find<QProgressBar>("statsProgress");
  auto* grid = find<QWidget>("statsGrid");
  auto* dash = find<QLabel>("noStats");
  EXPECT_EQ(dash->text(), QStringLiteral("\u2013"));
  EXPECT_TRUE(dash->isVisible());
  EXPECT_FALSE(progress->isVisible());
  EXPECT_FALSE(grid->isVisible());
  ViewTestSupport::savePicture(host->grab().toImage(), QStringLiteral("inspector-2-empty"));
  host->setPalette(ViewTestSupport::palette(true));
  ViewTestSupport::savePicture(host->grab().toImage(), QStringLiteral("inspector-2-empty-dark"));

  model->setContent(silence(4800, 2));
  EXPECT_FALSE(dash->isVisible());
  EXPECT_TRUE(progress->isVisible());
  panel->statistics().task().fireNow();
  ASSERT_TRUE(QTest::qWaitFor([&] { return grid->isVisible(); }));
  EXPECT_FALSE(dash->isVisible());

  model->setContent(silence(0, 2));
  EXPECT_TRUE(dash->isVisible());
  EXPECT_FALSE(progress->isVisible());
  EXPECT_FALSE(grid->isVisible());
}

// Counts the measurements and notes the range of each.
struct MeasureLog {
  std::mutex mutex;
  std::vector<std::optional<FrameRange>> ranges;

  SignalStatsState::Measure measure() {
    return [this](const AudioContent& content, std::optional<FrameRange> range,
                  const std::function<bool(double)>& progress) {
      {
        const std::lock_guard lock(mutex);
        ranges.push_back(range);
      }
      return quar::SignalAnalysis::stats(content, range, progress);
    };
  }
  size_t count() {
    const std::lock_guard lock(mutex);
    return ranges.size();
  }
};

class SignalStatsStateTest : public InspectorFixture {};

TEST_F(SignalStatsStateTest, ChangesWithinTheDelayLeadToOneMeasurementOfTheLast) {
  model = makeModel(tone(48000, {0.5f, 0.25f}));
  MeasureLog log;
  SignalStatsState state(model.get(), log.measure());
  EXPECT_EQ(state.task().delay(), std::chrono::milliseconds(150));
  state.task().fireNow();
  ASSERT_TRUE(QTest::qWaitFor([&] { return state.stats().has_value(); }));
  ASSERT_EQ(log.count(), 1u);

  model->setSelection(FrameRange(0, 1000));
  EXPECT_FALSE(state.stats());
  QCoreApplication::processEvents();
  EXPECT_TRUE(state.isWaiting());  // the second change comes within the delay of the first
  model->setSelection(FrameRange(2000, 3000));
  state.task().fireNow();
  ASSERT_TRUE(QTest::qWaitFor([&] { return state.stats().has_value(); }));
  EXPECT_EQ(log.count(), 2u);
  EXPECT_EQ(log.ranges.back(), FrameRange(2000, 3000));
  EXPECT_EQ(*state.stats(), quar::SignalAnalysis::stats(model->content(), FrameRange(2000, 3000)));

  // The cursor, the active channels and an unchanged selection start nothing.
  model->setCursor(100);
  model->setActiveChannels({0});
  model->setSelection(FrameRange(2000, 3000));
  EXPECT_TRUE(state.stats().has_value());
}

TEST_F(SignalStatsStateTest, AResultOvertakenByAChangeIsDropped) {
  model = makeModel(tone(48000, {0.5f}));
  std::atomic<bool> release{false};
  std::atomic<int> started{0};
  SignalStatsState state(model.get(), [&](const AudioContent& content, std::optional<FrameRange> range,
                                          const std::function<bool(double)>&) {
    if (started.fetch_add(1) == 0)
      while (!release.load()) std::this_thread::yield();
    return quar::SignalAnalysis::stats(content, range);
  });
  state.task().fireNow();
  ASSERT_TRUE(QTest::qWaitFor([&] { return started.load() == 1; }));
  model->setContent(tone(48000, {1.0f}));  // the first measurement is now stale
  release = true;
  state.task().fireNow();
  ASSERT_TRUE(QTest::qWaitFor([&] { return state.stats().has_value(); }));
  EXPECT_EQ(started.load(), 2);
  EXPECT_FLOAT_EQ(state.stats()->peak[0], quar::SignalAnalysis::stats(model->content()).peak[0]);
  EXPECT_GT(state.stats()->peak[0], 0.9f);
}

TEST_F(SignalStatsStateTest, CancellingTheDocumentsBackgroundWorkStopsARunningMeasurement) {
  model = makeModel(tone(48000, {0.5f}));
  std::atomic<bool> started{false}, stopped{false};
  SignalStatsState state(model.get(), [&](const AudioContent&, std::optional<FrameRange>,
                                          const std::function<bool(double)>& progress) -> quar::SignalStats {
    started = true;
    while (progress(0.5)) std::this_thread::yield();  // a long measurement, asking as it goes
    stopped = true;
    throw quar::CancellationError();
  });
  state.task().fireNow();
  ASSERT_TRUE(QTest::qWaitFor([&] { return started.load(); }));
  model->cancelBackgroundWork();  // the document closes
  ASSERT_TRUE(QTest::qWaitFor([&] { return stopped.load(); }));
  QCoreApplication::processEvents();
  EXPECT_FALSE(state.stats());
}

TEST_F(SignalStatsStateTest, EmptyContentIsNeverMeasured) {
  model = makeModel(silence(0, 2));
  MeasureLog log;
  SignalStatsState state(model.get(), log.measure());
  state.task().fireNow();
  EXPECT_FALSE(state.isWaiting());
  JobPool::utility().waitForDone();
  EXPECT_EQ(log.count(), 0u);
  EXPECT_FALSE(state.stats());
}
