#include "xdisplay.h"

#include <QCoreApplication>
#include <QProcess>
#include <functional>
#include <vector>

// After Qt: Xlib's macros would clash with Qt's names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace zelto::test::xdisplay {
namespace {

std::vector<QProcess*>& Servers() {
  static auto* servers = new std::vector<QProcess*>;
  return *servers;
}

// Ends the servers with the application object; SIGTERM lets each remove its
// lock and socket files.
void StopServers() {
  for (QProcess* server : Servers()) {
    server->terminate();
    if (!server->waitForFinished(5000)) {
      server->kill();
      server->waitForFinished(5000);
    }
    delete server;
  }
  Servers().clear();
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
  if (Servers().empty()) qAddPostRoutine(StopServers);
  Servers().push_back(server);
  return ":" + QString::fromLatin1(server->readLine()).trimmed();
}

// An open connection for the length of one call.
class Connection {
 public:
  explicit Connection(const QString& name) : display_(XOpenDisplay(name.toLatin1().constData())) {}
  ~Connection() {
    if (display_) XCloseDisplay(display_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  Display* get() const { return display_; }

 private:
  Display* display_;
};

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
  Connection connection(name);
  Display* display = connection.get();
  if (!display) return 0;
  int found = 0;
  for (Window window : Children(display, DefaultRootWindow(display)))
    if (Title(display, window) == title) visit(display, window), ++found;
  XSync(display, False);
  return found;
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
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    XSendEvent(display, window, False, NoEventMask, &event);
  });
}

bool HasWindow(const QString& title, const QString& display) {
  return MappedWindows(title, display) > 0;
}

int MappedWindows(const QString& title, const QString& display) {
  int mapped = 0;
  ForEachWindow(title, display, [&](Display* display, Window window) {
    if (Viewable(display, window)) ++mapped;
  });
  return mapped;
}

namespace {

// The mapped top-level window titled `title` and its place in the stacking
// order (the root's children run from the bottom up).
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

}  // namespace

std::optional<unsigned long> WindowId(const QString& title, const QString& name) {
  Connection connection(name);
  if (!connection.get()) return std::nullopt;
  const auto found = FindMapped(connection.get(), title);
  if (!found) return std::nullopt;
  return found->window;
}

std::optional<unsigned long> TransientFor(const QString& title, const QString& name) {
  Connection connection(name);
  if (!connection.get()) return std::nullopt;
  const auto found = FindMapped(connection.get(), title);
  if (!found) return std::nullopt;
  Window owner = None;
  if (!XGetTransientForHint(connection.get(), found->window, &owner)) return 0;
  return owner;
}

std::optional<QPoint> Origin(const QString& title, const QString& name) {
  Connection connection(name);
  Display* display = connection.get();
  if (!display) return std::nullopt;
  const auto found = FindMapped(display, title);
  if (!found) return std::nullopt;
  int x = 0, y = 0;
  Window child;
  XTranslateCoordinates(display, found->window, DefaultRootWindow(display), 0, 0, &x, &y, &child);
  return QPoint(x, y);
}

bool Lower(const QString& title, const QString& name) {
  Connection connection(name);
  if (!connection.get()) return false;
  const auto found = FindMapped(connection.get(), title);
  if (!found) return false;
  XLowerWindow(connection.get(), found->window);
  XSync(connection.get(), False);
  return true;
}

bool IsAbove(const QString& upper, const QString& lower, const QString& name) {
  Connection connection(name);
  if (!connection.get()) return false;
  const auto top = FindMapped(connection.get(), upper);
  const auto bottom = FindMapped(connection.get(), lower);
  return top && bottom && top->level > bottom->level;
}

namespace {

// Sends _NET_WM_PING and waits up to 20 s for the answer, which the program
// gives from its event queue: what the server sent it before has been seen.
// The caller redirects the root's children, to be sent the answer.
void Ping(Display* display, Window window) {
  const Window root = DefaultRootWindow(display);
  const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
  const Atom ping = XInternAtom(display, "_NET_WM_PING", False);
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = protocols;
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(ping);
  event.xclient.data.l[1] = CurrentTime;
  event.xclient.data.l[2] = static_cast<long>(window);
  XSendEvent(display, window, False, NoEventMask, &event);
  XFlush(display);
  for (int waited = 0; waited < 400; ++waited) {
    XEvent reply;
    if (XCheckTypedWindowEvent(display, root, ClientMessage, &reply)) {
      if (reply.xclient.message_type == protocols &&
          static_cast<Atom>(reply.xclient.data.l[0]) == ping &&
          static_cast<Window>(reply.xclient.data.l[2]) == window)
        return;
      continue;
    }
    usleep(50000);
  }
}

// Writes WM_STATE as a window manager does: NormalState while shown, then
// IconicState. The toolkit reads the property when it handles the change,
// not the value at the time of the change, so it must have seen the normal
// state before the iconic one is written; otherwise the minimising of an
// earlier round still stands and it sees no change. A _NET_WM_PING between
// the two, answered on the program's own event queue, says it has. The
// toolkit answers to the window manager alone (the client that redirects
// the root's children), so for that moment we are one: these servers have
// no other. With `unmap`, the window leaves the screen as well.
int Iconify(const QString& title, const QString& name, bool unmap) {
  Connection connection(name);
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
    if (unmap) {
      XUnmapWindow(display, window);
      // Seen by the program before the caller goes on.
      Ping(display, window);
    }
  }
  XSelectInput(display, root, NoEventMask);
  XSync(display, False);
  return found;
}

}  // namespace

int Iconify(const QString& title, const QString& name) {
  return Iconify(title, name, false);
}

int Minimise(const QString& title, const QString& name) {
  return Iconify(title, name, true);
}

QString TopTitle(const QString& name) {
  Connection connection(name);
  Display* display = connection.get();
  if (!display) return {};
  const std::vector<Window> windows = Children(display, DefaultRootWindow(display));
  for (auto it = windows.rbegin(); it != windows.rend(); ++it)  // bottom to top
    if (Viewable(display, *it)) return Title(display, *it);
  return {};
}

QString FocusTitle(const QString& name) {
  Connection connection(name);
  Display* display = connection.get();
  if (!display) return {};
  Window focus = None;
  int revert = 0;
  XGetInputFocus(display, &focus, &revert);
  const Window root = DefaultRootWindow(display);
  if (focus == None || focus == PointerRoot) return {};
  for (;;) {  // up to the child of the root
    Window rootReturn, parent, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, focus, &rootReturn, &parent, &children, &count)) return {};
    if (children) XFree(children);
    if (parent == root || parent == None) break;
    focus = parent;
  }
  return focus == root ? QString() : Title(display, focus);
}

Cover::Cover(const QString& name) : display_(XOpenDisplay(name.toLatin1().constData())) {
  auto* display = static_cast<Display*>(display_);
  if (!display) return;
  const Window root = DefaultRootWindow(display);
  XWindowAttributes screen;
  XGetWindowAttributes(display, root, &screen);
  window_ = XCreateSimpleWindow(display, root, 0, 0, static_cast<unsigned>(screen.width),
                                static_cast<unsigned>(screen.height), 0, 0, 0);
  const QByteArray title = "cover";
  XChangeProperty(display, window_, XInternAtom(display, "_NET_WM_NAME", False),
                  XInternAtom(display, "UTF8_STRING", False), 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(title.constData()), title.size());
  XMapRaised(display, window_);
  XSync(display, False);
  XSetInputFocus(display, window_, RevertToParent, CurrentTime);
  XSync(display, False);
}

Cover::~Cover() {
  if (auto* display = static_cast<Display*>(display_)) XCloseDisplay(display);
}

bool HasSelectionOwner(const char* selection, const QString& display) {
  Connection connection(display);
  return connection.get() &&
         XGetSelectionOwner(connection.get(), XInternAtom(connection.get(), selection, False)) !=
             None;
}

std::optional<QPoint> EmbeddedWindowCentre(const QString& resourceName, const QString& name) {
  Connection connection(name);
  Display* display = connection.get();
  if (!display) return std::nullopt;
  const Window root = DefaultRootWindow(display);
  // Depth first below the top-level windows: an embedded window is never
  // a child of the root.
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
  Connection connection(name);
  Display* display = connection.get();
  int event, error, major, minor;
  if (!display || !XTestQueryExtension(display, &event, &error, &major, &minor)) return false;
  XTestFakeMotionEvent(display, -1, where.x(), where.y(), CurrentTime);
  XTestFakeButtonEvent(display, button, True, CurrentTime);
  XTestFakeButtonEvent(display, button, False, 50);  // released a moment later
  XSync(display, False);
  return true;
}

}  // namespace zelto::test::xdisplay
