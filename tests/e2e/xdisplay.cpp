#include "xdisplay.h"

#include <QCoreApplication>
#include <QProcess>

// After Qt: Xlib's macros would clash with Qt's names.
#include <X11/Xlib.h>
#include <signal.h>
#include <sys/prctl.h>

namespace zelto::test::xdisplay {
namespace {

QProcess* g_server = nullptr;

// Ends the server with the application object; SIGTERM lets it remove its
// lock and socket files.
void StopServer() {
  g_server->terminate();
  if (!g_server->waitForFinished(5000)) {
    g_server->kill();
    g_server->waitForFinished(5000);
  }
  delete g_server;
  g_server = nullptr;
}

QString StartServer() {
  auto* server = g_server = new QProcess;
  qAddPostRoutine(StopServer);
  // If the tests die without cleaning up, the kernel ends the server too.
  server->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
  server->setStandardErrorFile(QProcess::nullDevice());
  // -displayfd: the server picks a free display and writes its number.
  server->start("Xvfb", {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1280x1024x24"});
  while (!server->canReadLine())
    if (!server->waitForReadyRead(10000)) return {};
  return ":" + QString::fromLatin1(server->readLine()).trimmed();
}

// Calls `visit` for each top-level window titled `title`; returns how many.
template <typename Visit>
int ForEachWindow(const QString& title, Visit visit) {
  Display* display = XOpenDisplay(Name().toLatin1().constData());
  if (!display) return 0;
  const Atom nameAtom = XInternAtom(display, "_NET_WM_NAME", False);
  Window root, parent, *children = nullptr;
  unsigned int count = 0;
  int found = 0;
  XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count);
  for (unsigned int i = 0; i < count; ++i) {
    Atom type;
    int format;
    unsigned long items, after;
    unsigned char* data = nullptr;
    XGetWindowProperty(display, children[i], nameAtom, 0, 256, False, AnyPropertyType, &type,
                       &format, &items, &after, &data);
    const bool match = data && QString::fromUtf8(reinterpret_cast<char*>(data), items) == title;
    if (data) XFree(data);
    if (match) visit(display, children[i]), ++found;
  }
  if (children) XFree(children);
  XCloseDisplay(display);
  return found;
}

}  // namespace

QString Name() {
  static const QString name = StartServer();
  return name;
}

int RequestClose(const QString& title) {
  return ForEachWindow(title, [](Display* display, Window window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    XSendEvent(display, window, False, NoEventMask, &event);
  });
}

bool HasWindow(const QString& title) {
  int mapped = 0;
  ForEachWindow(title, [&](Display* display, Window window) {
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable)
      ++mapped;
  });
  return mapped > 0;
}

}  // namespace zelto::test::xdisplay
