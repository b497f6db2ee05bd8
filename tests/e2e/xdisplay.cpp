#include "xdisplay.h"

#include <QCoreApplication>
#include <QProcess>
#include <algorithm>
#include <memory>
#include <vector>

// After Qt: Xlib's macros would clash with Qt's names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace zelto::test::xdisplay {
namespace {

std::vector<QProcess*> servers;

// SIGTERM lets each server remove its lock and socket files.
void StopServers() {
  for (QProcess* server : servers) {
    server->terminate();
    if (!server->waitForFinished(5000)) server->kill(), server->waitForFinished(5000);
    delete server;
  }
  servers.clear();
}

QString StartServer() {
  auto* server = new QProcess;
  // If the tests die without cleaning up, the kernel ends the server too.
  server->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
  server->setStandardErrorFile(QProcess::nullDevice());
  // -displayfd: the server picks a free display and writes its number.
  server->start("Xvfb", {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1280x1024x24"});
  while (!server->canReadLine())
    if (!server->waitForReadyRead(10000)) return {};
  if (servers.empty()) qAddPostRoutine(StopServers);
  servers.push_back(server);
  return ":" + QString::fromLatin1(server->readLine()).trimmed();
}

// Runs `use` on a connection of its own; an empty answer when none opens.
template <typename Use>
auto With(const QString& name, Use use) -> decltype(use(nullptr)) {
  const std::unique_ptr<Display, int (*)(Display*)> display(
      XOpenDisplay(name.toLatin1().constData()), XCloseDisplay);
  if (!display) return {};
  return use(display.get());
}

// Bottom to top, as the server stacks them.
std::vector<Window> Children(Display* display, Window window) {
  Window root, parent, *children = nullptr;
  unsigned int count = 0;
  std::vector<Window> result;
  if (XQueryTree(display, window, &root, &parent, &children, &count) && children)
    result.assign(children, children + count);
  if (children) XFree(children);
  return result;
}

QString Title(Display* display, Window window) {
  Atom type;
  int format;
  unsigned long items, after;
  unsigned char* data = nullptr;
  XGetWindowProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False), 0, 256, False,
                     AnyPropertyType, &type, &format, &items, &after, &data);
  QString title = data ? QString::fromUtf8(reinterpret_cast<char*>(data), items) : QString();
  if (data) XFree(data);
  return title;
}

bool Viewable(Display* display, Window window) {
  XWindowAttributes attributes;
  return XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable;
}

QPoint OnScreen(Display* display, Window window, int x, int y) {
  Window child;
  XTranslateCoordinates(display, window, DefaultRootWindow(display), x, y, &x, &y, &child);
  return {x, y};
}

// The top-level windows titled `title`, mapped or not, bottom to top.
std::vector<Window> Titled(Display* display, const QString& title) {
  std::vector<Window> windows = Children(display, DefaultRootWindow(display));
  std::erase_if(windows, [&](Window window) { return Title(display, window) != title; });
  return windows;
}

// The mapped top-level window titled `title` and its level in the stacking order.
struct Found {
  Window window = None;
  std::size_t level = 0;
};
std::optional<Found> FindMapped(Display* display, const QString& title) {
  const std::vector<Window> windows = Children(display, DefaultRootWindow(display));
  for (std::size_t i = 0; i < windows.size(); ++i)
    if (Title(display, windows[i]) == title && Viewable(display, windows[i]))
      return Found{windows[i], i};
  return std::nullopt;
}

// Runs `use` on the mapped window titled `title`, or gives nothing.
template <typename Use>
auto WithMapped(const QString& title, const QString& name, Use use)
    -> std::optional<decltype(use(nullptr, Window{}))> {
  return With(name, [&](Display* display) -> std::optional<decltype(use(nullptr, Window{}))> {
    const auto found = FindMapped(display, title);
    if (!found) return std::nullopt;
    return use(display, found->window);
  });
}

void SendClientMessage(Display* display, Window window, const char* type, long first,
                       long third = 0) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, type, False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = first;
  event.xclient.data.l[1] = CurrentTime;
  event.xclient.data.l[2] = third;
  XSendEvent(display, window, False, NoEventMask, &event);
  XFlush(display);
}

// Sends _NET_WM_PING and waits up to 20 s for the answer, which the program
// gives from its event queue: what the server sent it before has been seen.
// The caller redirects the root's children, to be sent the answer.
void Ping(Display* display, Window window) {
  const Atom ping = XInternAtom(display, "_NET_WM_PING", False);
  SendClientMessage(display, window, "WM_PROTOCOLS", static_cast<long>(ping),
                    static_cast<long>(window));
  for (int waited = 0; waited < 400; ++waited) {
    XEvent reply;
    if (!XCheckTypedWindowEvent(display, DefaultRootWindow(display), ClientMessage, &reply))
      usleep(50000);
    else if (static_cast<Atom>(reply.xclient.data.l[0]) == ping &&
             static_cast<Window>(reply.xclient.data.l[2]) == window)
      return;
  }
}

}  // namespace

QString Name() {
  static const QString name = StartServer();
  return name;
}

QString NewServer() {
  return StartServer();
}

int RequestClose(const QString& title, const QString& name) {
  return With(name, [&](Display* display) {
    const auto windows = Titled(display, title);
    for (Window window : windows)
      SendClientMessage(display, window, "WM_PROTOCOLS",
                        static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False)));
    return static_cast<int>(windows.size());
  });
}

int MappedWindows(const QString& title, const QString& name) {
  return With(name, [&](Display* display) {
    return static_cast<int>(std::ranges::count_if(
        Titled(display, title), [&](Window window) { return Viewable(display, window); }));
  });
}

QString OwnerTitle(const QString& title, const QString& name) {
  return WithMapped(title, name,
                    [](Display* display, Window window) {
                      Window owner = None;
                      return XGetTransientForHint(display, window, &owner) ? Title(display, owner)
                                                                           : QString();
                    })
      .value_or(QString());
}

std::optional<QPoint> Origin(const QString& title, const QString& name) {
  return WithMapped(
      title, name, [](Display* display, Window window) { return OnScreen(display, window, 0, 0); });
}

bool Lower(const QString& title, const QString& name) {
  return WithMapped(title, name,
                    [](Display* display, Window window) {
                      XLowerWindow(display, window);
                      return XSync(display, False);
                    })
      .has_value();
}

bool IsAbove(const QString& upper, const QString& lower, const QString& name) {
  return With(name, [&](Display* display) {
    const auto top = FindMapped(display, upper), bottom = FindMapped(display, lower);
    return top && bottom && top->level > bottom->level;
  });
}

// Writes WM_STATE as a window manager does: NormalState, then IconicState.
// The toolkit reads the property late, so a _NET_WM_PING in between makes
// sure it saw the normal state, or an earlier round's minimising stands. It
// answers the window manager alone, so for that moment we act as one.
int Minimise(const QString& title, const QString& name, bool leaveScreen) {
  return With(name, [&](Display* display) {
    const Window root = DefaultRootWindow(display);
    const Atom wmState = XInternAtom(display, "WM_STATE", False);
    const auto setState = [&](Window window, long value) {
      const long state[2] = {value, None};
      XChangeProperty(display, window, wmState, wmState, 32, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(state), 2);
    };
    const auto windows = Titled(display, title);
    XSelectInput(display, root, SubstructureNotifyMask | SubstructureRedirectMask);
    for (Window window : windows) {
      setState(window, NormalState);
      Ping(display, window);
      setState(window, IconicState);
      if (leaveScreen) XUnmapWindow(display, window), Ping(display, window);
    }
    XSelectInput(display, root, NoEventMask);
    XSync(display, False);
    return static_cast<int>(windows.size());
  });
}

QString FocusTitle(const QString& name) {
  return With(name, [](Display* display) {
    Window focus = None, root = None, parent = None, *children = nullptr;
    int revert = 0;
    unsigned int count = 0;
    XGetInputFocus(display, &focus, &revert);
    // Up to the child of the root.
    while (focus != None && focus != PointerRoot &&
           XQueryTree(display, focus, &root, &parent, &children, &count)) {
      if (children) XFree(children);
      if (parent == root || parent == None)
        return focus == root ? QString() : Title(display, focus);
      focus = parent;
    }
    return QString();
  });
}

std::shared_ptr<void> Cover(const QString& name) {
  Display* display = XOpenDisplay(name.toLatin1().constData());
  if (!display) return nullptr;
  const Window root = DefaultRootWindow(display);
  XWindowAttributes screen;
  XGetWindowAttributes(display, root, &screen);
  const Window window =
      XCreateSimpleWindow(display, root, 0, 0, static_cast<unsigned>(screen.width),
                          static_cast<unsigned>(screen.height), 0, 0, 0);
  XChangeProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False),
                  XInternAtom(display, "UTF8_STRING", False), 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>("cover"), 5);
  XMapRaised(display, window);
  XSync(display, False);
  XSetInputFocus(display, window, RevertToParent, CurrentTime);
  XSync(display, False);
  return {display, XCloseDisplay};  // its window goes with the connection
}

bool HasSelectionOwner(const char* selection, const QString& name) {
  return With(name, [&](Display* display) {
    return XGetSelectionOwner(display, XInternAtom(display, selection, False)) != None;
  });
}

std::optional<QPoint> EmbeddedWindowCentre(const QString& resourceName, const QString& name) {
  return With(name, [&](Display* display) -> std::optional<QPoint> {
    // Depth first below the top-level windows: an embedded one is never the root's child.
    std::vector<Window> pending;
    for (Window top : Children(display, DefaultRootWindow(display)))
      for (Window child : Children(display, top)) pending.push_back(child);
    while (!pending.empty()) {
      const Window window = pending.back();
      pending.pop_back();
      XClassHint hint{};
      bool match = false;
      if (XGetClassHint(display, window, &hint)) {
        match = hint.res_name && resourceName == hint.res_name;
        XFree(hint.res_name);
        XFree(hint.res_class);
      }
      XWindowAttributes a;
      if (match && XGetWindowAttributes(display, window, &a) && a.map_state == IsViewable &&
          a.width > 0 && a.height > 0)
        return OnScreen(display, window, a.width / 2, a.height / 2);
      for (Window child : Children(display, window)) pending.push_back(child);
    }
    return std::nullopt;
  });
}

bool Click(const QString& name, QPoint where, unsigned int button) {
  return With(name, [&](Display* display) {
    int event, error, major, minor;
    if (!XTestQueryExtension(display, &event, &error, &major, &minor)) return false;
    XTestFakeMotionEvent(display, -1, where.x(), where.y(), CurrentTime);
    XTestFakeButtonEvent(display, button, True, CurrentTime);
    XTestFakeButtonEvent(display, button, False, 50);  // released a moment later
    XSync(display, False);
    return true;
  });
}

}  // namespace zelto::test::xdisplay
