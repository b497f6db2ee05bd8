#include "platform/instancecall.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string_view>

namespace zelto {
namespace {

constexpr std::string_view kRequest = "show\n";
constexpr int kWaitMs = 2000;

// The address of a socket file; false when the name does not fit.
bool AddressOf(const QByteArray& path, sockaddr_un& address) {
  address = {};
  address.sun_family = AF_UNIX;
  if (path.isEmpty() || static_cast<std::size_t>(path.size()) >= sizeof address.sun_path)
    return false;
  std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
  return true;
}

sockaddr* Raw(sockaddr_un& address) {
  return reinterpret_cast<sockaddr*>(&address);
}

// Waits for `events` on `fd` until `deadline`; false when time ran out.
bool WaitFor(int fd, short events, std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd watched{fd, events, 0};
    const int ready = ::poll(&watched, 1, static_cast<int>(left.count()));
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return false;
  }
}

}  // namespace

// One caller's connection: read until a request's worth of bytes has come
// or the caller hung up, then closed. Whatever else arrives is not ours to
// answer.
class InstanceCall::Caller : public QObject {
 public:
  Caller(int fd, InstanceCall* call)
      : QObject(call), fd_(fd), notifier_(new QSocketNotifier(fd, QSocketNotifier::Read, this)) {
    connect(notifier_, &QSocketNotifier::activated, this, [this, call] { Read(*call); });
  }
  ~Caller() override { ::close(fd_); }

 private:
  void Read(InstanceCall& call) {
    char buffer[kRequest.size()];
    for (;;) {
      const ssize_t count = ::read(fd_, buffer, kRequest.size() - received_.size());
      if (count < 0 && errno == EINTR) continue;
      if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
      if (count > 0) received_.append(buffer, static_cast<std::size_t>(count));
      if (count > 0 && received_.size() < kRequest.size()) continue;
      notifier_->setEnabled(false);
      deleteLater();
      if (received_ == kRequest) emit call.Called();
      return;
    }
  }

  int fd_;
  QSocketNotifier* notifier_;
  std::string received_;
};

InstanceCall::InstanceCall(QObject* parent) : QObject(parent) {}

InstanceCall::~InstanceCall() {
  Close();
}

void InstanceCall::Close() {
  if (listener_ < 0) return;
  delete notifier_;
  notifier_ = nullptr;
  ::close(listener_);
  listener_ = -1;
  // The name is given up with the socket, as a copy that ends leaves it.
  ::unlink(path_.constData());
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
  Close();
  const QByteArray path = QFile::encodeName(name);
  sockaddr_un address;
  if (!AddressOf(path, address)) return false;
  ::unlink(path.constData());
  // Another user may share the temporary folder; only we may call. The
  // socket is made in a folder of our own beside the name, given our
  // access alone and only then moved to the name, so that nobody else can
  // reach it even for a moment. That path is shorter than the name.
  const int slash = path.lastIndexOf('/');
  QByteArray folder = (slash >= 0 ? path.left(slash + 1) : QByteArray()) + ".zelto-XXXXXX";
  if (::mkdtemp(folder.data()) == nullptr) return false;
  const QByteArray staged = folder + "/s";
  sockaddr_un stagedAddress;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  const bool listening = fd >= 0 && AddressOf(staged, stagedAddress) &&
                         ::bind(fd, Raw(stagedAddress), sizeof stagedAddress) == 0 &&
                         ::chmod(staged.constData(), S_IRUSR | S_IWUSR) == 0 &&
                         ::listen(fd, SOMAXCONN) == 0 &&
                         ::rename(staged.constData(), path.constData()) == 0;
  ::unlink(staged.constData());
  ::rmdir(folder.constData());
  if (!listening) {
    if (fd >= 0) ::close(fd);
    return false;
  }
  listener_ = fd;
  path_ = path;
  notifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] {
    for (;;) {
      const int caller = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
      if (caller >= 0) {
        new Caller(caller, this);
      } else if (errno != EINTR && errno != ECONNABORTED) {
        return;  // none left, or none to be had now
      }
    }
  });
  return true;
}

bool InstanceCall::Call(const QString& name) {
  sockaddr_un address;
  if (!AddressOf(QFile::encodeName(name), address)) return false;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
  bool connected = false;
  for (;;) {
    if (::connect(fd, Raw(address), sizeof address) == 0) {
      connected = true;
      break;
    }
    if (errno == EINTR) continue;
    // A full backlog: the listener is busy, not gone. Asked again shortly.
    if (errno != EAGAIN || std::chrono::steady_clock::now() >= deadline) break;
    ::poll(nullptr, 0, 10);
  }
  std::size_t sent = 0;
  while (connected && sent < kRequest.size()) {
    const ssize_t count = ::send(fd, kRequest.data() + sent, kRequest.size() - sent, MSG_NOSIGNAL);
    if (count > 0) {
      sent += static_cast<std::size_t>(count);
    } else if (count < 0 && errno == EINTR) {
      continue;
    } else if (count < 0 && errno == EAGAIN && WaitFor(fd, POLLOUT, deadline)) {
      continue;
    } else {
      break;
    }
  }
  ::close(fd);
  return sent == kRequest.size();
}

}  // namespace zelto
