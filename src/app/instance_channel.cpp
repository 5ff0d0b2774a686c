#include "app/instance_channel.h"

#include <QCryptographicHash>
#include <QLocalSocket>

namespace tidewire::app {

QString InstanceServerName(const std::filesystem::path& work_dir) {
  const std::string absolute = std::filesystem::absolute(work_dir).lexically_normal().string();
  const QByteArray hash =
      QCryptographicHash::hash(QByteArray::fromStdString(absolute), QCryptographicHash::Sha1);
  return "tidewire-" + QString::fromLatin1(hash.toHex().left(16));
}

bool CallRunningInstance(const std::filesystem::path& work_dir) {
  QLocalSocket socket;
  socket.connectToServer(InstanceServerName(work_dir));
  if (!socket.waitForConnected(2000)) return false;
  socket.write("show\n");
  const bool written = socket.waitForBytesWritten(2000);
  socket.disconnectFromServer();
  return written;
}

InstanceServer::InstanceServer(const std::filesystem::path& work_dir, QObject* parent)
    : QObject(parent) {
  const QString name = InstanceServerName(work_dir);
  // The lock is ours, so a socket of that name is a leftover of an instance that crashed.
  QLocalServer::removeServer(name);
  server_.setSocketOptions(QLocalServer::UserAccessOption);
  (void)server_.listen(name);
  connect(&server_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* caller = server_.nextPendingConnection()) {
      connect(caller, &QLocalSocket::disconnected, caller, &QObject::deleteLater);
      emit ShowRequested();
    }
  });
}

}  // namespace tidewire::app
