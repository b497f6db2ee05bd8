#pragma once

#include <QPoint>
#include <QString>
#include <optional>

// Private X servers (Xvfb) for the end-to-end tests. The shared one starts
// on first use and has no notification area; a test that needs one starts
// its own server. Without a window manager the program's windows sit right
// under the root window, and what a window manager would do (the close
// request, minimising) the tests do themselves.
namespace zelto::test::xdisplay {

QString Name();       // ":N" of the shared server, or empty when none could start
QString NewServer();  // ":N" of a server of its own, ended with the tests; or empty

// Each takes the display, the shared one unless told.
int RequestClose(const QString& title, const QString& display = Name());   // how many asked
bool HasWindow(const QString& title, const QString& display = Name());     // one mapped?
int MappedWindows(const QString& title, const QString& display = Name());  // how many mapped

// The X id of the mapped top-level window titled `title`.
std::optional<unsigned long> WindowId(const QString& title, const QString& display = Name());
// Its WM_TRANSIENT_FOR: the window it says it belongs to (0 for none).
std::optional<unsigned long> TransientFor(const QString& title, const QString& display = Name());
// Its top left corner on the screen.
std::optional<QPoint> Origin(const QString& title, const QString& display = Name());
// Puts it below every other window, as a click on another one would.
bool Lower(const QString& title, const QString& display = Name());
// Whether the window titled `upper` lies above the one titled `lower`.
bool IsAbove(const QString& upper, const QString& lower, const QString& display = Name());

// Minimises the windows titled `title` as a window manager does, by giving
// them the iconic WM_STATE; returns how many.
int Iconify(const QString& title, const QString& display);

// Minimises them as a window manager does for a taskbar: the iconic
// WM_STATE, and the window leaves the screen. Returns how many.
int Minimise(const QString& title, const QString& display);

// The title of the top-level window stacked highest among the mapped ones,
// and of the one that holds the input focus.
QString TopTitle(const QString& display);
QString FocusTitle(const QString& display);

// Another program's window: mapped over the whole screen with the input
// focus for as long as the object lives.
class Cover {
 public:
  explicit Cover(const QString& display);
  ~Cover();
  Cover(const Cover&) = delete;
  Cover& operator=(const Cover&) = delete;

 private:
  void* display_;
  unsigned long window_ = 0;
};

// Whether some client holds the selection (the notification area's is
// "_NET_SYSTEM_TRAY_S0").
bool HasSelectionOwner(const char* selection, const QString& display);

// The screen centre of a mapped window of the program `resourceName` (its
// WM_CLASS) that has been embedded into another client's window: the
// program's notification-area icon.
std::optional<QPoint> EmbeddedWindowCentre(const QString& resourceName, const QString& display);

// Presses and releases `button` (1 left, 3 right) at `where`, through the
// server's XTEST extension, as a real mouse would.
bool Click(const QString& display, QPoint where, unsigned int button);

}  // namespace zelto::test::xdisplay
