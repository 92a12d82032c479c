// The program as a user starts it: quarnel opens a WAV file in a private X server (Xvfb on the
// xcb platform, null audio device); xdotool presses Ctrl+S to save, Space to play and again to
// stop, Ctrl+A and Ctrl+Alt+K to silence everything, Ctrl+S, Ctrl+Z to undo, Ctrl+S again and
// Ctrl+Q to quit. The test checks the saved file on disk after each save, that the program stays
// alive until it is asked to quit, and leaves a screenshot of the editor window (taken from the
// X server) in the build folder.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "core/AudioContent.h"
#include "io/AudioDecoder.h"
#include "io/AudioEncoder.h"
#include "support/ProgramEnvironment.h"

namespace {

// Generous limits: only reached when something is wrong.
constexpr int startLimitMs = 60000;
constexpr int stepLimitMs = 20000;

QString display;

// Runs a short command (xdotool) to its end; its standard output.
QByteArray run(const QString& program, const QStringList& arguments) {
  QProcess process;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("DISPLAY"), display);
  process.setProcessEnvironment(environment);
  process.start(program, arguments);
  if (!process.waitForFinished(stepLimitMs)) return {};
  return process.readAllStandardOutput();
}

void xdotool(const QStringList& arguments) { run(QStringLiteral("xdotool"), arguments); }

// A minute of a stereo chord, 16-bit: playback cannot reach its end while the test waits.
QString writeTone(const QTemporaryDir& folder) {
  const double rate = 48000;
  std::vector<std::vector<float>> samples(2, std::vector<float>(60 * 48000));
  for (size_t c = 0; c < 2; ++c)
    for (size_t i = 0; i < samples[c].size(); ++i)
      samples[c][i] = static_cast<float>(0.4 * std::sin(2 * M_PI * (330.0 + 110.0 * static_cast<double>(c)) * static_cast<double>(i) / rate));
  quar::EncodeSettings settings = quar::EncodeSettings::defaults(quar::ExportFormat::wav);
  settings.bitDepth = quar::PCMBitDepth::int16;
  settings.dither = quar::DitherMode::none;
  const QString path = folder.filePath(QStringLiteral("tone.wav"));
  quar::AudioEncoder::write(quar::AudioContent(samples, rate), std::nullopt, path.toStdString(), settings);
  return path;
}

ino_t inodeOf(const QString& path) {
  struct stat info {};
  return ::stat(path.toLocal8Bit().constData(), &info) == 0 ? info.st_ino : 0;
}

QImage grab(WId window) { return QGuiApplication::primaryScreen()->grabWindow(window).toImage(); }

class EndToEnd : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(folder.isValid());
    path = writeTone(folder);
    original = quar::AudioDecoder::decodeToArrays(path.toStdString()).channels;

    QProcessEnvironment environment = quar::testing::programEnvironment(folder);
    environment.insert(QStringLiteral("DISPLAY"), display);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    quarnel.setProcessEnvironment(environment);
    quarnel.setProcessChannelMode(QProcess::ForwardedChannels);
    quarnel.start(QStringLiteral(QUARNEL_PROGRAM), {path});
    ASSERT_TRUE(quarnel.waitForStarted(startLimitMs));
  }

  void TearDown() override {
    if (quarnel.state() != QProcess::NotRunning) {
      quarnel.kill();
      quarnel.waitForFinished(stepLimitMs);
    }
  }

  bool alive() const { return quarnel.state() == QProcess::Running; }

  // The editor window of the file once it is mapped; 0 when it does not appear.
  WId waitForWindow() {
    WId found = 0;
    (void)QTest::qWaitFor(
        [&] {
          const QList<QByteArray> ids =
              run(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                              QStringLiteral("--name"), QStringLiteral("^tone\\.wav")})
                  .split('\n');
          found = ids.isEmpty() ? 0 : ids.front().trimmed().toULongLong();
          return found != 0 || !alive();
        },
        startLimitMs);
    return found;
  }

  // Presses Ctrl+S until the file is replaced (a save is refused while the file still loads or
  // an edit runs).
  bool saveReplacesFile() {
    const ino_t before = inodeOf(path);
    QElapsedTimer elapsed;
    elapsed.start();
    while (alive() && elapsed.elapsed() < startLimitMs) {
      xdotool({QStringLiteral("key"), QStringLiteral("ctrl+s")});
      if (QTest::qWaitFor([&] { return inodeOf(path) != before && inodeOf(path) != 0; }, 2000)) return true;
    }
    return false;
  }

  // The window's picture once it has not changed for a while (playback redraws it 30 times a
  // second); null when it keeps changing.
  QImage settledImage(WId window) {
    constexpr qint64 quietMs = 300;
    QImage last = grab(window);
    QElapsedTimer quiet;
    quiet.start();
    const bool settled = QTest::qWaitFor(
        [&] {
          QImage next = grab(window);
          if (next != last) {
            last = std::move(next);
            quiet.restart();
          }
          return quiet.elapsed() >= quietMs;
        },
        stepLimitMs);
    return settled ? last : QImage();
  }

  std::vector<std::vector<float>> savedAudio() const {
    return quar::AudioDecoder::decodeToArrays(path.toStdString()).channels;
  }
  void expectSavedAudioUnchanged() { EXPECT_EQ(savedAudio(), original); }

  QTemporaryDir folder;
  QString path;
  std::vector<std::vector<float>> original;
  QProcess quarnel;
};

TEST_F(EndToEnd, OpensPlaysSilencesUndoesSavesAndQuits) {
  const WId window = waitForWindow();
  ASSERT_NE(window, 0u) << "no editor window appeared";
  xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::number(window)});

  ASSERT_TRUE(saveReplacesFile()) << "Ctrl+S did not save the file";
  expectSavedAudioUnchanged();

  // Space plays: the play button turns into pause, then the position readout runs on.
  const QImage stopped = settledImage(window);
  ASSERT_FALSE(stopped.isNull());
  xdotool({QStringLiteral("key"), QStringLiteral("space")});
  QImage playing;
  ASSERT_TRUE(QTest::qWaitFor([&] { return (playing = grab(window)) != stopped; }, stepLimitMs))
      << "Space did not start playback";
  // The first changes can be the meters rising alone: ten changes take several display ticks,
  // over which the position has run on.
  int changes = 0;
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        QImage next = grab(window);
        if (next != playing) {
          playing = std::move(next);
          ++changes;
        }
        return changes >= 10;
      },
      stepLimitMs))
      << "the position does not run";
  // Space again stops where it played to: the window settles on a later position.
  xdotool({QStringLiteral("key"), QStringLiteral("space")});
  const QImage paused = settledImage(window);
  ASSERT_FALSE(paused.isNull()) << "Space did not stop playback";
  EXPECT_TRUE(paused != stopped) << "the position did not move";
  EXPECT_TRUE(QDir().mkpath(QStringLiteral(E2E_OUTPUT_DIR)));
  EXPECT_TRUE(paused.save(QStringLiteral(E2E_OUTPUT_DIR "/editor-window.png")));
  ASSERT_TRUE(alive());

  // Select all and silence: the saved file keeps its length and channels, every sample zero.
  xdotool({QStringLiteral("key"), QStringLiteral("ctrl+a")});
  xdotool({QStringLiteral("key"), QStringLiteral("ctrl+alt+k")});
  ASSERT_TRUE(saveReplacesFile()) << "Ctrl+S after silencing did not save the file";
  const std::vector<std::vector<float>> silenced = savedAudio();
  ASSERT_EQ(silenced.size(), original.size());
  for (size_t c = 0; c < silenced.size(); ++c) {
    EXPECT_EQ(silenced[c].size(), original[c].size()) << c;
    EXPECT_TRUE(std::ranges::all_of(silenced[c], [](float sample) { return sample == 0.0f; }))
        << "channel " << c << " was not silenced";
  }
  ASSERT_TRUE(alive());

  // Undo brings the original back, bit for bit.
  xdotool({QStringLiteral("key"), QStringLiteral("ctrl+z")});
  ASSERT_TRUE(saveReplacesFile()) << "Ctrl+S after undo did not save the file";
  expectSavedAudioUnchanged();
  ASSERT_TRUE(alive());

  xdotool({QStringLiteral("key"), QStringLiteral("ctrl+q")});
  ASSERT_TRUE(quarnel.waitForFinished(stepLimitMs)) << "Ctrl+Q did not quit";
  EXPECT_EQ(quarnel.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(quarnel.exitCode(), 0);
}

} // namespace

// Starts a private X server (Xvfb picks a free display and reports it), then the tests, which
// connect to it too, to take screenshots.
int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  QProcess xvfb;
  xvfb.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                       QStringLiteral("0"), QStringLiteral("1600x1000x24"), QStringLiteral("-nolisten"),
                                       QStringLiteral("tcp")});
  if (!xvfb.waitForStarted(startLimitMs)) {
    fprintf(stderr, "Xvfb could not start (tools/install-deps.sh installs it)\n");
    return 1;
  }
  QByteArray number;
  while (!number.endsWith('\n') && xvfb.waitForReadyRead(startLimitMs)) number += xvfb.readAllStandardOutput();
  if (number.trimmed().isEmpty()) {
    fprintf(stderr, "Xvfb reported no display\n");
    return 1;
  }
  display = QStringLiteral(":") + QString::fromLatin1(number.trimmed());
  setenv("DISPLAY", display.toLocal8Bit().constData(), 1);
  setenv("QT_QPA_PLATFORM", "xcb", 1);
  int status = 0;
  {
    QGuiApplication app(argc, argv);
    status = RUN_ALL_TESTS();
  }
  xvfb.terminate();
  xvfb.waitForFinished(stepLimitMs);
  return status;
}
