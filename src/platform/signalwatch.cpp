#include "platform/signalwatch.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

namespace zelto {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};
int g_fds[2] = {-1, -1};

extern "C" void OnSignal(int signalNumber) {
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(signalNumber);
  // A full socket means a wake-up is already pending; losing this byte is fine.
  [[maybe_unused]] const ssize_t written = ::write(g_fds[0], &byte, 1);
  errno = saved;
}

}  // namespace

SignalWatch::SignalWatch(QObject* parent) : QObject(parent) {
  if (g_fds[0] != -1) return;  // another watch is active
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_fds) != 0) {
    g_fds[0] = g_fds[1] = -1;
    return;
  }
  for (int fd : g_fds) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  notifier_ = new QSocketNotifier(g_fds[1], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &SignalWatch::ReadPending);

  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int number : kSignals) ::sigaction(number, &action, nullptr);
}

SignalWatch::~SignalWatch() {
  if (!notifier_) return;
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (int number : kSignals) ::sigaction(number, &action, nullptr);
  delete notifier_;
  ::close(g_fds[0]);
  ::close(g_fds[1]);
  g_fds[0] = g_fds[1] = -1;
}

void SignalWatch::ReadPending() {
  unsigned char bytes[16];
  for (;;) {
    const ssize_t count = ::read(g_fds[1], bytes, sizeof bytes);
    if (count <= 0) break;
    for (ssize_t i = 0; i < count; ++i) emit Received(bytes[i]);
  }
}

}  // namespace zelto
