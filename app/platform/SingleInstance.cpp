#include "platform/SingleInstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <QtEndian>

#include <unistd.h>

// Off by default; QT_LOGGING_RULES="quarnel.instance.info=true" shows each hand-over.
Q_LOGGING_CATEGORY(instanceLog, "quarnel.instance", QtWarningMsg)

namespace {

// The message: a 32-bit big-endian byte count, then each path in UTF-8 followed by a NUL (no
// path holds one). The running instance answers one byte once it has taken the paths.
constexpr quint32 largestMessage = 4 << 20;
constexpr char taken = 1;
// A running instance answers at once unless it is stuck; launches wait for each other only
// between their look for a running instance and their listening.
constexpr int answerLimitMs = 10000;
constexpr int lockLimitMs = 10000;

QByteArray message(const QStringList& paths) {
  QByteArray payload;
  for (const QString& path : paths) payload += QFileInfo(path).absoluteFilePath().toUtf8() + '\0';
  QByteArray header(4, '\0');
  qToBigEndian(static_cast<quint32>(payload.size()), header.data());
  return header + payload;
}

QString socketPath(const QString& endpoint) {
  return QDir::isAbsolutePath(endpoint) ? endpoint : QDir::temp().filePath(endpoint);
}

} // namespace

QString SingleInstance::defaultEndpoint() {
  const QString chosen = qEnvironmentVariable("QUARNEL_INSTANCE");
  if (!chosen.isEmpty()) return chosen;
  const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (runtime.isEmpty()) return QStringLiteral("quarnel-%1.instance").arg(getuid());
  return QDir(runtime).filePath(QStringLiteral("quarnel.instance"));
}

SingleInstance::SingleInstance(QString endpoint, QObject* parent) : QObject(parent), endpoint_(std::move(endpoint)) {}

SingleInstance::~SingleInstance() = default;

SingleInstance::Role SingleInstance::start(const QStringList& paths) {
  // The lock keeps two launches from both finding no instance and both listening.
  QLockFile lock(socketPath(endpoint_) + QStringLiteral(".lock"));
  const bool locked = lock.tryLock(lockLimitMs);
  switch (handOver(paths)) {
  case Answer::taken:
    return Role::handedOver;
  case Answer::silent:
    // A running instance that does not answer keeps its endpoint.
    qCWarning(instanceLog, "The instance at %s did not answer; this launch runs on its own", qPrintable(endpoint_));
    return Role::alone;
  case Answer::nobody:
    break;
  }
  if (!locked) {
    qCWarning(instanceLog, "Cannot lock %s; this launch runs on its own", qPrintable(lock.fileName()));
    return Role::alone;
  }
  return listen() ? Role::listening : Role::alone;
}

SingleInstance::Answer SingleInstance::handOver(const QStringList& paths) const {
  QLocalSocket socket;
  socket.connectToServer(endpoint_);
  // No socket, or one nobody listens on (left by an instance that died): fails at once. A time-out
  // is a running instance too busy to accept: it keeps its endpoint.
  if (!socket.waitForConnected(answerLimitMs))
    return socket.error() == QLocalSocket::SocketTimeoutError ? Answer::silent : Answer::nobody;
  socket.write(message(paths));
  socket.flush();
  while (socket.bytesAvailable() < 1)
    if (!socket.waitForReadyRead(answerLimitMs)) return Answer::silent;
  char answer = 0;
  return socket.getChar(&answer) && answer == taken ? Answer::taken : Answer::silent;
}

bool SingleInstance::listen() {
  server_ = std::make_unique<QLocalServer>();
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  // Nobody answered there: whatever is left at the endpoint is stale.
  QLocalServer::removeServer(endpoint_);
  if (!server_->listen(endpoint_)) {
    qCWarning(instanceLog, "Cannot listen on %s (%s); this launch runs on its own", qPrintable(endpoint_),
              qPrintable(server_->errorString()));
    server_.reset();
    return false;
  }
  // A program on its way out takes nothing more: a launch from then on starts anew.
  if (QCoreApplication* app = QCoreApplication::instance())
    connect(app, &QCoreApplication::aboutToQuit, server_.get(), &QLocalServer::close);
  connect(server_.get(), &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
      connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
      connect(socket, &QLocalSocket::readyRead, this, [this, socket] { receive(*socket); });
      if (socket->bytesAvailable() > 0) receive(*socket);
    }
  });
  qCInfo(instanceLog, "Listening on %s", qPrintable(server_->fullServerName()));
  return true;
}

void SingleInstance::receive(QLocalSocket& socket) {
  if (socket.bytesAvailable() < 4) return;
  const quint32 size = qFromBigEndian<quint32>(socket.peek(4).constData());
  if (size > largestMessage) return socket.abort();
  if (socket.bytesAvailable() < 4 + qint64(size)) return;
  socket.skip(4);
  const QByteArray payload = socket.read(size);
  if (!payload.isEmpty() && !payload.endsWith('\0')) return socket.abort();
  QStringList paths;
  for (const QByteArray& path : payload.split('\0').mid(0, payload.count('\0'))) {
    paths << QString::fromUtf8(path);
    if (!QDir::isAbsolutePath(paths.back())) return socket.abort();
  }
  socket.putChar(taken);
  socket.disconnectFromServer();
  if (paths.isEmpty())
    qCInfo(instanceLog, "Asked to come forward");
  else
    qCInfo(instanceLog, "Opening %s", qPrintable(paths.join(QStringLiteral(", "))));
  Q_EMIT requested(paths);
}
