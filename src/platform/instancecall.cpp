#include "platform/instancecall.h"

#include <sys/un.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

namespace zelto {
namespace {

constexpr QByteArrayView kRequest = "show\n";
constexpr int kWaitMs = 2000;

}  // namespace

InstanceCall::InstanceCall(QObject* parent) : QObject(parent), server_(new QLocalServer(this)) {
  // Another user may share the temporary folder; only we may call.
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  connect(server_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
      connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
      connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
        if (socket->bytesAvailable() < kRequest.size()) return;
        // Whatever else arrives is not ours to answer.
        const bool asked = socket->read(kRequest.size()) == kRequest;
        socket->disconnectFromServer();
        if (asked) emit Called();
      });
    }
  });
}

QString InstanceCall::ChannelName(const std::filesystem::path& dataFolder) {
  // The folder's bytes, not its decoded name: two folders whose names differ
  // only in bytes that are not UTF-8 are two installations.
  const QByteArray hash =
      QCryptographicHash::hash(QByteArrayView(dataFolder.native()), QCryptographicHash::Sha256)
          .toHex()
          .left(32);
  const QString file = QStringLiteral("zelto-todo-%1").arg(QString::fromLatin1(hash));
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  // The whole path must fit into a socket address.
  constexpr qsizetype kRoom = sizeof(sockaddr_un::sun_path) - 1;
  const QFileInfo runtimeInfo(runtime);
  if (runtimeInfo.isAbsolute() && runtimeInfo.isDir() && runtimeInfo.isWritable()) {
    const QString name = runtime + '/' + file;
    if (QFile::encodeName(name).size() <= kRoom) return name;
  }
  return QDir::tempPath() + QStringLiteral("/zelto-todo-%1-").arg(::getuid()) +
         QString::fromLatin1(hash);
}

bool InstanceCall::Listen(const QString& name) {
  server_->close();
  QLocalServer::removeServer(name);
  return server_->listen(name);
}

bool InstanceCall::Call(const QString& name) {
  QLocalSocket socket;
  socket.connectToServer(name);
  if (!socket.waitForConnected(kWaitMs)) return false;
  socket.write(kRequest.data(), kRequest.size());
  const bool sent = socket.waitForBytesWritten(kWaitMs);
  socket.disconnectFromServer();
  return sent;
}

}  // namespace zelto
