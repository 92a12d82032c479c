// SingleInstance: one running program per user. The first launch listens on a local socket
// (QLocalServer) in the user's runtime folder; a later launch connects there, hands over its
// files as absolute paths and ends. An instance that does not answer (busy, stopped, or killed
// and not yet torn down) is waited for until it answers or its socket goes away; an endpoint
// left by an instance that died is then removed and taken over. Without a usable socket a
// launch runs on its own. The endpoint is the socket's path: QUARNEL_INSTANCE when set (a bare
// name goes to the temporary folder), else "quarnel.instance" in the runtime folder. GUI thread
// (or the one thread that owns it).
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class QLocalServer;
class QLocalSocket;

class SingleInstance final : public QObject {
  Q_OBJECT
public:
  enum class Role {
    handedOver, // a running instance took the files: this launch ends
    listening,  // this is the running instance
    alone,      // no socket: this launch runs on its own
  };

  static QString defaultEndpoint();

  explicit SingleInstance(QString endpoint = defaultEndpoint(), QObject* parent = nullptr);
  ~SingleInstance() override;

  // Hands `paths` (made absolute against the working folder) to the running instance, or else
  // becomes it. Blocks while an instance holds the endpoint without answering, and while another
  // launch is between its look for an instance and its listening; either wait is logged once.
  Role start(const QStringList& paths);
  const QString& endpoint() const { return endpoint_; }

Q_SIGNALS:
  // A later launch's files, absolute paths; none when it was started without files.
  void requested(const QStringList& paths);

private:
  bool handOver(const QStringList& paths) const;
  bool listen();
  void receive(QLocalSocket& socket);

  QString endpoint_;
  std::unique_ptr<QLocalServer> server_;
};
