// The real program launched more than once, on the offscreen platform with its own instance
// endpoint (QUARNEL_INSTANCE) in a temporary folder: a later launch hands its files, made
// absolute, to the running program and ends with status 0, also when a killed instance left
// its endpoint behind; a launch while the running program does not answer waits for it and
// takes its place once it is gone; without a usable endpoint every launch runs on its own. The
// program's "quarnel.instance" log tells when it listens, waits and what it was handed.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <cmath>
#include <memory>
#include <vector>

#include "core/AudioContent.h"
#include "io/AudioEncoder.h"
#include "support/ProgramEnvironment.h"

namespace {

// Generous limits: only reached when something is wrong.
constexpr int startLimitMs = 60000;

class Launch {
public:
  Launch(const QTemporaryDir& folder, const QString& endpoint, const QStringList& files) {
    QProcessEnvironment environment = quar::testing::programEnvironment(folder);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("QUARNEL_INSTANCE"), endpoint);
    environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("quarnel.instance.info=true"));
    process_.setProcessEnvironment(environment);
    process_.setWorkingDirectory(folder.path());
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start(QStringLiteral(QUARNEL_PROGRAM), files);
  }

  ~Launch() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.kill();
    process_.waitForFinished(startLimitMs);
  }

  // Waits until the program's output holds `text`; false when it ends or stays silent.
  bool logs(const QString& text) {
    while (!log_.contains(text)) {
      if (!process_.waitForReadyRead(startLimitMs)) return false;
      log_ += QString::fromUtf8(process_.readAll());
    }
    return true;
  }

  // The program ended by itself with status 0.
  bool endsWithSuccess() {
    if (!process_.waitForFinished(startLimitMs)) return false;
    log_ += QString::fromUtf8(process_.readAll());
    return process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == 0;
  }

  bool running() const { return process_.state() == QProcess::Running; }
  // As Ctrl+Z in a terminal: the program holds its endpoint and answers nothing.
  void stop() { ::kill(pid_t(process_.processId()), SIGSTOP); }
  void kill() {
    process_.kill();
    process_.waitForFinished(startLimitMs);
  }
  const QString& log() const { return log_; }

private:
  QProcess process_;
  QString log_;
};

class LaunchTest : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(folder.isValid());
    endpoint = folder.filePath(QStringLiteral("instance"));
  }

  // A tenth of a second of a stereo tone.
  QString writeTone(const QString& name) const {
    std::vector<std::vector<float>> samples(2, std::vector<float>(4800));
    for (auto& channel : samples)
      for (size_t i = 0; i < channel.size(); ++i) channel[i] = static_cast<float>(0.3 * std::sin(0.05 * double(i)));
    const QString path = folder.filePath(name);
    quar::AudioEncoder::write(quar::AudioContent(samples, 48000), std::nullopt, path.toStdString(),
                              quar::EncodeSettings::defaults(quar::ExportFormat::wav));
    return path;
  }

  std::unique_ptr<Launch> launch(const QStringList& files = {}) const {
    return std::make_unique<Launch>(folder, endpoint, files);
  }

  QTemporaryDir folder;
  QString endpoint;
};

TEST_F(LaunchTest, ALaterLaunchHandsItsFilesToTheRunningProgramAndEnds) {
  const auto first = launch();
  ASSERT_TRUE(first->logs(QStringLiteral("Listening on ") + endpoint)) << first->log().toStdString();
  const QString tone = writeTone(QStringLiteral("tone.wav"));
  const QString other = writeTone(QStringLiteral("two tones.wav"));

  // The first path is relative to the later launch's working folder.
  const auto second = launch({QStringLiteral("tone.wav"), other});
  EXPECT_TRUE(second->endsWithSuccess()) << second->log().toStdString();
  EXPECT_TRUE(first->logs(QStringLiteral("Opening ") + tone + QStringLiteral(", ") + other)) << first->log().toStdString();
  EXPECT_FALSE(second->log().contains(QStringLiteral("Listening")));

  // Without files: the running program is asked to come forward (and still answers after
  // opening the files).
  const auto third = launch();
  EXPECT_TRUE(third->endsWithSuccess()) << third->log().toStdString();
  EXPECT_TRUE(first->logs(QStringLiteral("Asked to come forward"))) << first->log().toStdString();
  EXPECT_TRUE(first->running());
}

TEST_F(LaunchTest, TheEndpointOfAKilledInstanceDoesNotBlockTheNextLaunch) {
  const auto killed = launch();
  ASSERT_TRUE(killed->logs(QStringLiteral("Listening on ") + endpoint)) << killed->log().toStdString();
  killed->kill();
  ASSERT_TRUE(QFileInfo::exists(endpoint)) << "the killed instance left no endpoint";

  const QString tone = writeTone(QStringLiteral("tone.wav"));
  const auto next = launch({tone});
  ASSERT_TRUE(next->logs(QStringLiteral("Listening on ") + endpoint)) << next->log().toStdString();
  EXPECT_TRUE(next->running());

  const auto later = launch({tone});
  EXPECT_TRUE(later->endsWithSuccess()) << later->log().toStdString();
  EXPECT_TRUE(next->logs(QStringLiteral("Opening ") + tone)) << next->log().toStdString();
}

// A program that does not answer (here stopped; killed and still being torn down is the same to
// a launch) keeps later launches waiting; once it is gone one of them listens and the others hand
// their files to it, so one program remains.
TEST_F(LaunchTest, ALaunchWaitsForAProgramThatDoesNotAnswerAndTakesItsPlaceOnceItIsGone) {
  const auto silent = launch();
  ASSERT_TRUE(silent->logs(QStringLiteral("Listening on ") + endpoint)) << silent->log().toStdString();
  silent->stop();
  const QString tone = writeTone(QStringLiteral("tone.wav"));
  const QString other = writeTone(QStringLiteral("other.wav"));

  const auto waiting = launch({tone});
  EXPECT_TRUE(waiting->logs(QStringLiteral("has not answered yet; this launch waits until it answers or ends")))
      << waiting->log().toStdString();
  const auto queued = launch({other});
  EXPECT_TRUE(queued->logs(QStringLiteral("holds ") + endpoint + QStringLiteral(".lock; this launch waits for it")))
      << queued->log().toStdString();
  EXPECT_TRUE(waiting->running());

  silent->kill();
  EXPECT_TRUE(waiting->logs(QStringLiteral("Listening on ") + endpoint)) << waiting->log().toStdString();
  EXPECT_TRUE(queued->endsWithSuccess()) << queued->log().toStdString();
  EXPECT_TRUE(waiting->logs(QStringLiteral("Opening ") + other)) << waiting->log().toStdString();
  EXPECT_TRUE(waiting->running());
  EXPECT_FALSE(waiting->log().contains(QStringLiteral("runs on its own"))) << waiting->log().toStdString();
}

TEST_F(LaunchTest, WithoutAUsableEndpointEachLaunchRunsOnItsOwn) {
  endpoint = folder.filePath(QStringLiteral("missing/instance"));
  const auto first = launch();
  const auto second = launch();
  for (const auto& program : {first.get(), second.get()}) {
    EXPECT_TRUE(program->logs(QStringLiteral("this launch runs on its own"))) << program->log().toStdString();
    EXPECT_TRUE(program->running());
  }
}

} // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
