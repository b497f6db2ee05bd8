#include "xdisplay.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>

namespace zelto::test {
namespace {

pid_t g_server = -1;
QString g_name;

void StopServer() {
  if (g_server > 0) {
    ::kill(g_server, SIGTERM);
    ::waitpid(g_server, nullptr, 0);
    g_server = -1;
  }
}

QString StartServer() {
  int fds[2];
  if (::pipe(fds) != 0) return {};
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(fds[0]);
    const int devnull = ::open("/dev/null", O_WRONLY);
    if (devnull >= 0) ::dup2(devnull, 2);
    const std::string fd = std::to_string(fds[1]);
    // -displayfd: the server picks a free display and writes its number.
    ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0",
             "1280x1024x24", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(fds[1]);
  if (child < 0) {
    ::close(fds[0]);
    return {};
  }
  std::string number;
  char c;
  while (::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  ::close(fds[0]);
  if (number.empty()) {
    ::waitpid(child, nullptr, 0);
    return {};
  }
  g_server = child;
  std::atexit(StopServer);
  return QStringLiteral(":") + QString::fromStdString(number);
}

// Calls `visit` for each child of the root window that belongs to `pid` and
// carries `title`.
int ForEachWindow(pid_t pid, const QString& title,
                  const std::function<void(Display*, Window)>& visit) {
  Display* display = XOpenDisplay(XDisplay::Name().toLocal8Bit().constData());
  if (!display) return 0;
  const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
  const Atom nameAtom = XInternAtom(display, "_NET_WM_NAME", False);
  const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
  Window root = DefaultRootWindow(display);
  Window parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  int found = 0;
  if (XQueryTree(display, root, &root, &parent, &children, &count)) {
    for (unsigned int i = 0; i < count; ++i) {
      Atom type;
      int format;
      unsigned long items, after;
      unsigned char* data = nullptr;
      bool mine = false;
      if (XGetWindowProperty(display, children[i], pidAtom, 0, 1, False, XA_CARDINAL, &type,
                             &format, &items, &after, &data) == Success &&
          data && items == 1) {
        mine = static_cast<pid_t>(*reinterpret_cast<unsigned long*>(data)) == pid;
      }
      if (data) XFree(data);
      if (!mine) continue;
      data = nullptr;
      QString name;
      if (XGetWindowProperty(display, children[i], nameAtom, 0, 1024, False, utf8, &type, &format,
                             &items, &after, &data) == Success &&
          data) {
        name = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<int>(items));
      }
      if (data) XFree(data);
      if (name != title) continue;
      visit(display, children[i]);
      ++found;
    }
    if (children) XFree(children);
  }
  XCloseDisplay(display);
  return found;
}

}  // namespace

QString XDisplay::Name() {
  if (g_name.isEmpty()) g_name = StartServer();
  return g_name;
}

int XDisplay::RequestClose(pid_t pid, const QString& title) {
  return ForEachWindow(pid, title, [](Display* display, Window window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
  });
}

bool XDisplay::HasWindow(pid_t pid, const QString& title) {
  int mapped = 0;
  ForEachWindow(pid, title, [&](Display* display, Window window) {
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable)
      ++mapped;
  });
  return mapped > 0;
}

}  // namespace zelto::test
