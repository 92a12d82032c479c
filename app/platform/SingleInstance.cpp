#include "platform/SingleInstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <QThread>
#include <QtEndian>

#include <sys/socket.h>
#include <unistd.h>

// Off by default; QT_LOGGING_RULES="quarnel.instance.info=true" shows each hand-over.
Q_LOGGING_CATEGORY(instanceLog, "quarnel.instance", QtWarningMsg)

namespace {

// The message: a 32-bit big-endian byte count, then each path in UTF-8 followed by a NUL (no
// path holds one). The running instance answers one byte once it has taken the paths.
constexpr quint32 largestMessage = 4 << 20;
constexpr char taken = 1;
// A running instance answers within milliseconds once its event loop runs, and within seconds of
// its own launch on a busy machine; a wait longer than this is logged.
constexpr int graceMs = 3000;
// A connection that cannot even be queued (the holder's backlog is full) is tried again after this.
constexpr int connectLimitMs = 10000;
// Pause between connections to a holder that keeps hanging up unanswered.
constexpr unsigned long retryPauseMs = 500;

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

// The process that listens at the other end of a connected local socket; 0 when unknown.
qint64 holderOf(const QLocalSocket& socket) {
  ucred credentials{};
  socklen_t size = sizeof credentials;
  if (::getsockopt(int(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0) return 0;
  return credentials.pid;
}

// Takes the lock, waiting for as long as another live launch holds it (a dead one's is stale).
// False when the lock cannot be made at all.
bool acquire(QLockFile& lock) {
  lock.setStaleLockTime(0);
  if (lock.tryLock(graceMs)) return true;
  if (lock.error() != QLockFile::LockFailedError) return false;
  qint64 holder = 0;
  QString host, application;
  lock.getLockInfo(&holder, &host, &application);
  qCWarning(instanceLog, "Another launch (process %lld) holds %s; this launch waits for it", holder,
            qPrintable(lock.fileName()));
  return lock.lock();
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
  const bool locked = acquire(lock);
  if (handOver(paths)) return Role::handedOver;
  if (!locked) {
    qCWarning(instanceLog, "Cannot lock %s; this launch runs on its own", qPrintable(lock.fileName()));
    return Role::alone;
  }
  if (!listen()) return Role::alone;
  // Said once the lock is free, so that whoever reads it may take this program's place at once.
  lock.unlock();
  qCInfo(instanceLog, "Listening on %s", qPrintable(server_->fullServerName()));
  return Role::listening;
}

bool SingleInstance::handOver(const QStringList& paths) const {
  const QByteArray request = message(paths);
  bool told = false;
  const auto tell = [&](qint64 holder) {
    if (told) return;
    told = true;
    const QString process = holder > 0 ? QStringLiteral(" (process %1)").arg(holder) : QString();
    qCWarning(instanceLog, "The instance at %s%s has not answered yet; this launch waits until it answers or ends",
              qPrintable(endpoint_), qPrintable(process));
  };
  for (int attempt = 0;; ++attempt) {
    // A holder still there after hanging up on us is likely to do it again: do not spin.
    if (attempt > 1) QThread::msleep(retryPauseMs);
    QLocalSocket socket;
    socket.connectToServer(endpoint_);
    if (!socket.waitForConnected(connectLimitMs)) {
      // No socket, or one nobody listens on (left by an instance that died): fails at once.
      if (socket.error() != QLocalSocket::SocketTimeoutError) return false;
      // A holder whose queue is full of connections it does not take.
      tell(0);
      continue;
    }
    const qint64 holder = holderOf(socket);
    if (attempt > 0) tell(holder);
    socket.write(request);
    socket.flush();
    // Until the answer, or the end of the connection: a holder that goes away (a killed program
    // once the system has torn it down) resets it, and the next connection finds nobody.
    while (socket.bytesAvailable() < 1 && socket.state() == QLocalSocket::ConnectedState)
      if (!socket.waitForReadyRead(told ? -1 : graceMs) && socket.state() == QLocalSocket::ConnectedState)
        tell(holder);
    char answer = 0;
    if (socket.getChar(&answer) && answer == taken) return true;
  }
}

bool SingleInstance::listen() {
  server_ = std::make_unique<QLocalServer>();
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  // Nobody listens there: whatever is left at the endpoint is stale.
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
