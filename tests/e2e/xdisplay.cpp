#include "xdisplay.h"

#include <QCoreApplication>
#include <QProcess>
#include <functional>
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

// An open connection for the length of one call; null when none.
using Connection = std::unique_ptr<Display, int (*)(Display*)>;
Connection Open(const QString& name) {
  return {XOpenDisplay(name.toLatin1().constData()), XCloseDisplay};
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

// Calls `visit` for each top-level window titled `title`; returns how many.
int ForEachWindow(const QString& title, const QString& name,
                  const std::function<void(Display*, Window)>& visit) {
  const Connection display = Open(name);
  if (!display) return 0;
  int found = 0;
  for (Window window : Children(display.get(), DefaultRootWindow(display.get())))
    if (Title(display.get(), window) == title) visit(display.get(), window), ++found;
  XSync(display.get(), False);
  return found;
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
  const Connection display = Open(name);
  if (!display) return std::nullopt;
  const auto found = FindMapped(display.get(), title);
  if (!found) return std::nullopt;
  return use(display.get(), found->window);
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

int RequestClose(const QString& title, const QString& display) {
  return ForEachWindow(title, display, [](Display* display, Window window) {
    SendClientMessage(display, window, "WM_PROTOCOLS",
                      static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False)));
  });
}

int MappedWindows(const QString& title, const QString& display) {
  int mapped = 0;
  ForEachWindow(title, display,
                [&](Display* display, Window window) { mapped += Viewable(display, window); });
  return mapped;
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
  return WithMapped(title, name, [](Display* display, Window window) {
    int x = 0, y = 0;
    Window child;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child);
    return QPoint(x, y);
  });
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
  const Connection display = Open(name);
  if (!display) return false;
  const auto top = FindMapped(display.get(), upper), bottom = FindMapped(display.get(), lower);
  return top && bottom && top->level > bottom->level;
}

// Writes WM_STATE as a window manager does: NormalState, then IconicState.
// The toolkit reads the property when it handles the change, not as it was
// at the change, so it must have seen the normal state before the iconic
// one is written, or the minimising of an earlier round still stands. A
// _NET_WM_PING between the two says it has. The toolkit answers the window
// manager alone (the client redirecting the root's children), so for that
// moment we are one: these servers have no other.
int Minimise(const QString& title, const QString& name, bool leaveScreen) {
  const Connection connection = Open(name);
  Display* display = connection.get();
  if (!display) return 0;
  const Window root = DefaultRootWindow(display);
  const Atom wmState = XInternAtom(display, "WM_STATE", False);
  XSelectInput(display, root, SubstructureNotifyMask | SubstructureRedirectMask);
  const auto setState = [&](Window window, long value) {
    const long state[2] = {value, None};
    XChangeProperty(display, window, wmState, wmState, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(state), 2);
  };
  int found = 0;
  for (Window window : Children(display, root)) {
    if (Title(display, window) != title) continue;
    ++found;
    setState(window, NormalState);
    Ping(display, window);
    setState(window, IconicState);
    if (leaveScreen) XUnmapWindow(display, window), Ping(display, window);
  }
  XSelectInput(display, root, NoEventMask);
  XSync(display, False);
  return found;
}

QString FocusTitle(const QString& name) {
  const Connection display = Open(name);
  if (!display) return {};
  Window focus = None, root = None, parent = None, *children = nullptr;
  int revert = 0;
  unsigned int count = 0;
  XGetInputFocus(display.get(), &focus, &revert);
  if (focus == None || focus == PointerRoot) return {};
  // Up to the child of the root.
  while (XQueryTree(display.get(), focus, &root, &parent, &children, &count)) {
    if (children) XFree(children);
    if (parent == root || parent == None)
      return focus == root ? QString() : Title(display.get(), focus);
    focus = parent;
  }
  return {};
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
  const Connection display = Open(name);
  return display &&
         XGetSelectionOwner(display.get(), XInternAtom(display.get(), selection, False)) != None;
}

std::optional<QPoint> EmbeddedWindowCentre(const QString& resourceName, const QString& name) {
  const Connection connection = Open(name);
  Display* display = connection.get();
  if (!display) return std::nullopt;
  const Window root = DefaultRootWindow(display);
  // Depth first below the top-level windows: an embedded one is never the root's child.
  std::vector<Window> pending;
  for (Window top : Children(display, root))
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
    XWindowAttributes attributes;
    if (match && XGetWindowAttributes(display, window, &attributes) &&
        attributes.map_state == IsViewable && attributes.width > 0 && attributes.height > 0) {
      int x = 0, y = 0;
      Window child;
      XTranslateCoordinates(display, window, root, attributes.width / 2, attributes.height / 2, &x,
                            &y, &child);
      return QPoint(x, y);
    }
    for (Window child : Children(display, window)) pending.push_back(child);
  }
  return std::nullopt;
}

bool Click(const QString& name, QPoint where, unsigned int button) {
  const Connection display = Open(name);
  int event, error, major, minor;
  if (!display || !XTestQueryExtension(display.get(), &event, &error, &major, &minor)) return false;
  XTestFakeMotionEvent(display.get(), -1, where.x(), where.y(), CurrentTime);
  XTestFakeButtonEvent(display.get(), button, True, CurrentTime);
  XTestFakeButtonEvent(display.get(), button, False, 50);  // released a moment later
  XSync(display.get(), False);
  return true;
}

}  // namespace zelto::test::xdisplay
