#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QtEndian>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>

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

// What a process killed while listening leaves: a socket file that nobody listens on.
void leaveStaleSocket(const QString& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const QByteArray name = QFile::encodeName(path);
  ASSERT_LT(size_t(name.size()), sizeof address.sun_path);
  std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(fd, 1), 0);
  ::close(fd);
}

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
  leaveStaleSocket(endpoint);
  ASSERT_TRUE(QFileInfo::exists(endpoint));
  SingleInstance next(endpoint);
  ASSERT_EQ(next.start({}), SingleInstance::Role::listening);
  QSignalSpy requests(&next, &SingleInstance::requested);
  EXPECT_EQ(startElsewhere(endpoint, {QStringLiteral("/a.wav")}), SingleInstance::Role::handedOver);
  ASSERT_TRUE(requests.count() == 1 || requests.wait(limitMs));
  EXPECT_EQ(requests.takeFirst().at(0).toStringList(), QStringList{QStringLiteral("/a.wav")});
}

TEST_F(SingleInstanceTest, AnInstanceThatDoesNotAnswerKeepsItsEndpoint) {
  // Something listens there but closes every connection unanswered.
  QLocalServer other;
  ASSERT_TRUE(other.listen(endpoint));
  QObject::connect(&other, &QLocalServer::newConnection, &other, [&] {
    while (QLocalSocket* socket = other.nextPendingConnection()) delete socket;
  });
  EXPECT_EQ(startElsewhere(endpoint, {QStringLiteral("/a.wav")}), SingleInstance::Role::alone);
  EXPECT_TRUE(other.isListening());
  QLocalSocket probe;
  probe.connectToServer(endpoint);
  EXPECT_TRUE(probe.waitForConnected(limitMs));
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
