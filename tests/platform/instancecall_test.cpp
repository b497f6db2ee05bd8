#include "platform/instancecall.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QSignalSpy>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <memory>
#include <optional>

#include "support/core/fakes.h"

namespace zelto {
namespace {

// Sets an environment variable, or removes it, for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<QByteArray> value)
      : name_(name), saved_(qgetenv(name)), had_(qEnvironmentVariableIsSet(name)) {
    value ? qputenv(name, *value) : qunsetenv(name);
  }
  ~ScopedEnv() { had_ ? qputenv(name_, saved_) : qunsetenv(name_); }

 private:
  const char* name_;
  QByteArray saved_;
  bool had_;
};

// One channel per data folder, told apart by the folder's bytes, in the
// runtime folder where there is a usable one, and always short enough to
// be a socket's address.
TEST(InstanceCall, ChannelNames) {
  test::TempFolder runtime;
  const QString runtimeDir = QFile::decodeName(runtime.path().c_str());
  const QString temp = QDir::tempPath() + QStringLiteral("/zelto-todo-%1-").arg(::getuid());
  const QByteArray tooLong = QFile::encodeName(runtimeDir) + '/' + QByteArray(80, 'x');
  QDir().mkpath(QFile::decodeName(tooLong));
  const struct {
    const char* name;
    std::optional<QByteArray> runtime;
    QString expectedStart;
  } cases[] = {
      {"runtime folder", QFile::encodeName(runtimeDir), runtimeDir + "/zelto-todo-"},
      {"no runtime folder", std::nullopt, temp},
      {"empty", QByteArray(), temp},
      {"relative", "run/user", temp},
      {"missing", QFile::encodeName(runtimeDir) + "/gone", temp},
      {"too long for an address", tooLong, temp},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedEnv env("XDG_RUNTIME_DIR", c.runtime);
    const QString plain = InstanceCall::ChannelName("/home/me/todo");
    EXPECT_TRUE(plain.startsWith(c.expectedStart)) << plain.toStdString();
    EXPECT_LT(QFile::encodeName(plain).size(), qsizetype(sizeof(sockaddr_un::sun_path)));
    EXPECT_EQ(InstanceCall::ChannelName("/home/me/todo"), plain);
    EXPECT_NE(InstanceCall::ChannelName("/home/me/todo2"), plain);
    // Latin-1 and UTF-8 spellings of one name are two folders.
    EXPECT_NE(InstanceCall::ChannelName("/home/me/caf\xe9"),
              InstanceCall::ChannelName("/home/me/caf\xc3\xa9"));
  }
}

// A socket file left by a copy that was killed: nobody listens on it, and
// the next holder of the lock takes the name over.
void LeaveStaleSocket(const QString& name) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const QByteArray path = QFile::encodeName(name);
  std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ::close(fd);
  ASSERT_TRUE(QFile::exists(name));
}

TEST(InstanceCall, ARequestReachesTheListenerOverALeftoverSocket) {
  test::TempFolder runtime;
  ScopedEnv env("XDG_RUNTIME_DIR", QFile::encodeName(QFile::decodeName(runtime.path().c_str())));
  const QString name = InstanceCall::ChannelName("/data");
  EXPECT_FALSE(InstanceCall::Call(name)) << "nobody listens yet";
  LeaveStaleSocket(name);
  EXPECT_FALSE(InstanceCall::Call(name)) << "nor on a leftover";

  auto running = std::make_unique<InstanceCall>();
  QSignalSpy called(running.get(), &InstanceCall::Called);
  ASSERT_TRUE(running->Listen(name));
  // Another user sharing the temporary folder must not reach it.
  struct stat socketFile {};
  ASSERT_EQ(::stat(QFile::encodeName(name).constData(), &socketFile), 0);
  EXPECT_TRUE(S_ISSOCK(socketFile.st_mode));
  EXPECT_EQ(socketFile.st_mode & 077, 0u);
  const auto entries = std::distance(std::filesystem::directory_iterator(runtime.path()),
                                     std::filesystem::directory_iterator());
  EXPECT_EQ(entries, 1) << "nothing else is left beside it";
  EXPECT_TRUE(InstanceCall::Call(name));
  ASSERT_TRUE(called.wait());
  EXPECT_EQ(called.count(), 1);

  // Another folder's channel, or bytes that are not the request, call nobody.
  EXPECT_FALSE(InstanceCall::Call(InstanceCall::ChannelName("/other")));
  for (const QByteArray& stranger : {QByteArray("hello\n"), QByteArray("sho"), QByteArray()}) {
    QLocalSocket socket;
    socket.connectToServer(name);
    ASSERT_TRUE(socket.waitForConnected());
    socket.write(stranger);
    socket.waitForBytesWritten();
    socket.disconnectFromServer();
  }
  EXPECT_TRUE(InstanceCall::Call(name));
  ASSERT_TRUE(called.wait());
  EXPECT_EQ(called.count(), 2) << "only the real request counts";

  // A copy that ends gives the name up.
  running.reset();
  EXPECT_FALSE(QFile::exists(name));
  EXPECT_FALSE(InstanceCall::Call(name));
}

}  // namespace
}  // namespace zelto
