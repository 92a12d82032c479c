#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QtEndian>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/SingleInstance.h"

namespace {

constexpr int limitMs = 30000;

// A later launch: start() on a thread of its own, as in another process, while this thread's
// event loop lets the running instance answer.
SingleInstance::Role startElsewhere(const QString& endpoint, const QStringList& paths) {
  SingleInstance::Role role = SingleInstance::Role::alone;
  const std::unique_ptr<QThread> thread(QThread::create([&] { role = SingleInstance(endpoint).start(paths); }));
  thread->start();
  EXPECT_TRUE(QTest::qWaitFor([&] { return thread->isFinished(); }, limitMs));
  thread->wait();
  return role;
}

// A socket listened on at `path` that nobody serves: what a program holds while it is stopped, or
// killed and not yet torn down (its socket is closed last). Closed, it is what such a program leaves.
int listenAt(const QString& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  EXPECT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const QByteArray name = QFile::encodeName(path);
  EXPECT_LT(size_t(name.size()), sizeof address.sun_path);
  std::memcpy(address.sun_path, name.constData(), std::min(size_t(name.size()), sizeof address.sun_path - 1));
  EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  EXPECT_EQ(::listen(fd, 4), 0);
  return fd;
}

// Waits for a connection to arrive at a listening socket; false after the limit.
bool connectionArrives(int fd) {
  pollfd waiting{fd, POLLIN, 0};
  return ::poll(&waiting, 1, limitMs) == 1;
}

// Catches the warnings of this process, so that a test can wait until a launch says it waits.
class Warnings {
public:
  Warnings() {
    current = this;
    previous_ = qInstallMessageHandler(&Warnings::handle);
  }
  ~Warnings() {
    qInstallMessageHandler(previous_);
    current = nullptr;
  }

  // Whether a warning holding `text` came, waiting for it up to the limit.
  bool wait(const QString& text) {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, std::chrono::milliseconds(limitMs), [&] { return seen_.contains(text); });
  }

private:
  static void handle(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    {
      const std::lock_guard lock(current->mutex_);
      current->seen_ += text + QLatin1Char('\n');
    }
    current->arrived_.notify_all();
    current->previous_(type, context, text);
  }

  static inline Warnings* current = nullptr;
  QtMessageHandler previous_ = nullptr;
  std::mutex mutex_;
  std::condition_variable arrived_;
  QString seen_;
};

QByteArray framed(const QByteArray& payload) {
  QByteArray header(4, '\0');
  qToBigEndian(static_cast<quint32>(payload.size()), header.data());
  return header + payload;
}

class SingleInstanceTest : public testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(folder.isValid()); }

  QTemporaryDir folder;
  const QString endpoint = folder.filePath(QStringLiteral("instance"));
};

TEST_F(SingleInstanceTest, ALaterLaunchHandsItsFilesAsAbsolutePathsToTheRunningOne) {
  SingleInstance running(endpoint);
  ASSERT_EQ(running.start({}), SingleInstance::Role::listening);
  QSignalSpy requests(&running, &SingleInstance::requested);

  const QString unusual = folder.filePath(QStringLiteral("a \u00e9\ntake; \"1\".wav"));
  EXPECT_EQ(startElsewhere(endpoint, {QStringLiteral("tone.wav"), unusual, QStringLiteral("../up/x.flac")}),
            SingleInstance::Role::handedOver);
  ASSERT_TRUE(requests.count() == 1 || requests.wait(limitMs));
  const QStringList expected{QDir::current().absoluteFilePath(QStringLiteral("tone.wav")), unusual,
                             QDir::cleanPath(QDir::current().absoluteFilePath(QStringLiteral("../up/x.flac")))};
  EXPECT_EQ(requests.takeFirst().at(0).toStringList(), expected);

  // Without files the running one is asked to come forward.
  EXPECT_EQ(startElsewhere(endpoint, {}), SingleInstance::Role::handedOver);
  ASSERT_TRUE(requests.count() == 1 || requests.wait(limitMs));
  EXPECT_EQ(requests.takeFirst().at(0).toStringList(), QStringList());
}

TEST_F(SingleInstanceTest, AnEndpointLeftByADeadInstanceIsTakenOver) {
  ::close(listenAt(endpoint));
  ASSERT_TRUE(QFileInfo::exists(endpoint));
  SingleInstance next(endpoint);
  ASSERT_EQ(next.start({}), SingleInstance::Role::listening);
  QSignalSpy requests(&next, &SingleInstance::requested);
  EXPECT_EQ(startElsewhere(endpoint, {QStringLiteral("/a.wav")}), SingleInstance::Role::handedOver);
  ASSERT_TRUE(requests.count() == 1 || requests.wait(limitMs));
  EXPECT_EQ(requests.takeFirst().at(0).toStringList(), QStringList{QStringLiteral("/a.wav")});
}

// A holder that does not answer keeps the launch waiting, however long, until it goes away; the
// launch then listens, so one instance remains.
TEST_F(SingleInstanceTest, ALaunchWaitsForAnInstanceThatDoesNotAnswerAndListensOnceItIsGone) {
  const struct {
    const char* what;
    int hangUps;
  } holders[] = {
      {"takes no connection (stopped, or killed and not yet torn down)", 0},
      {"hangs up unanswered", 2},
  };
  for (const auto& holder : holders) {
    const QString path = folder.filePath(QStringLiteral("instance-%1").arg(holder.hangUps));
    const int fd = listenAt(path);
    Warnings warnings;
    std::thread silent([&] {
      for (int i = 0; i < holder.hangUps && connectionArrives(fd); ++i) ::close(::accept(fd, nullptr, nullptr));
      EXPECT_TRUE(connectionArrives(fd)) << holder.what;
      // The launch is still waiting when the holder goes away.
      EXPECT_TRUE(warnings.wait(QStringLiteral("(process %1) has not answered yet; this launch waits until it answers or ends")
                                    .arg(::getpid())))
          << holder.what;
      ::close(fd);
    });
    SingleInstance launch(path);
    EXPECT_EQ(launch.start({QStringLiteral("/a.wav")}), SingleInstance::Role::listening) << holder.what;
    silent.join();

    QSignalSpy requests(&launch, &SingleInstance::requested);
    EXPECT_EQ(startElsewhere(path, {QStringLiteral("/b.wav")}), SingleInstance::Role::handedOver) << holder.what;
    ASSERT_TRUE(requests.count() == 1 || requests.wait(limitMs)) << holder.what;
    EXPECT_EQ(requests.takeFirst().at(0).toStringList(), QStringList{QStringLiteral("/b.wav")}) << holder.what;
  }
}

// Launches wait for each other between their look for an instance and their listening.
TEST_F(SingleInstanceTest, ALaunchWaitsWhileAnotherHoldsTheLock) {
  QLockFile other(endpoint + QStringLiteral(".lock"));
  ASSERT_TRUE(other.tryLock(0));
  Warnings warnings;
  SingleInstance::Role role = SingleInstance::Role::alone;
  const std::unique_ptr<QThread> launch(QThread::create([&] { role = SingleInstance(endpoint).start({}); }));
  launch->start();
  EXPECT_TRUE(warnings.wait(QStringLiteral("Another launch (process %1) holds").arg(::getpid())));
  other.unlock();
  EXPECT_TRUE(launch->wait(limitMs));
  EXPECT_EQ(role, SingleInstance::Role::listening);
}

TEST_F(SingleInstanceTest, WithoutAUsableEndpointALaunchRunsAlone) {
  SingleInstance launch(folder.filePath(QStringLiteral("missing/instance")));
  EXPECT_EQ(launch.start({QStringLiteral("/a.wav")}), SingleInstance::Role::alone);
}

TEST_F(SingleInstanceTest, MalformedMessagesAreDroppedAndTheInstanceGoesOnAnswering) {
  SingleInstance running(endpoint);
  ASSERT_EQ(running.start({}), SingleInstance::Role::listening);
  QSignalSpy requests(&running, &SingleInstance::requested);
  const QByteArray tooLarge = [] {
    QByteArray header(4, '\0');
    qToBigEndian(quint32(64) << 20, header.data());
    return header;
  }();
  const struct {
    const char* what;
    QByteArray message;
  } cases[] = {
      {"too large", tooLarge},
      {"unterminated path", framed("/a.wav")},
      {"relative path", framed(QByteArray("a.wav\0", 6))},
      {"empty path", framed(QByteArray("\0", 1))},
  };
  for (const auto& bad : cases) {
    QLocalSocket socket;
    socket.connectToServer(endpoint);
    ASSERT_TRUE(socket.waitForConnected(limitMs)) << bad.what;
    socket.write(bad.message);
    EXPECT_TRUE(QTest::qWaitFor([&] { return socket.state() == QLocalSocket::UnconnectedState; }, limitMs)) << bad.what;
    EXPECT_EQ(socket.bytesAvailable(), 0) << bad.what;
  }
  EXPECT_EQ(requests.count(), 0);
  EXPECT_EQ(startElsewhere(endpoint, {QStringLiteral("/b.wav")}), SingleInstance::Role::handedOver);
  ASSERT_TRUE(requests.count() == 1 || requests.wait(limitMs));
  EXPECT_EQ(requests.takeFirst().at(0).toStringList(), QStringList{QStringLiteral("/b.wav")});
}

TEST(SingleInstance, TheEndpointIsTheUsersOwnUnlessChosen) {
  const QByteArray chosen = qgetenv("QUARNEL_INSTANCE");
  unsetenv("QUARNEL_INSTANCE");
  // The test harness points the runtime folder at a temporary one.
  EXPECT_EQ(SingleInstance::defaultEndpoint(), qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/quarnel.instance"));
  setenv("QUARNEL_INSTANCE", "/tmp/elsewhere", 1);
  EXPECT_EQ(SingleInstance::defaultEndpoint(), QStringLiteral("/tmp/elsewhere"));
  if (chosen.isNull())
    unsetenv("QUARNEL_INSTANCE");
  else
    setenv("QUARNEL_INSTANCE", chosen.constData(), 1);
}

} // namespace
