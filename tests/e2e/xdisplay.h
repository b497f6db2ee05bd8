#pragma once

#include <QPoint>
#include <QString>
#include <memory>
#include <optional>

// Private X servers (Xvfb) for the end-to-end tests. The shared one starts
// on first use and has no notification area. Without a window manager the
// program's windows sit right under the root, and what a window manager
// would do (the close request, minimising) the tests do themselves.
// Windows are found by title among the mapped top-level ones.
namespace zelto::test::xdisplay {

QString Name();       // ":N" of the shared server, or empty when none could start
QString NewServer();  // ":N" of a server of its own, ended with the tests; or empty

int RequestClose(const QString& title, const QString& display = Name());  // how many asked
int MappedWindows(const QString& title, const QString& display = Name());
inline bool HasWindow(const QString& title, const QString& display = Name()) {
  return MappedWindows(title, display) > 0;
}

// The title of the window its WM_TRANSIENT_FOR says it belongs to.
QString OwnerTitle(const QString& title, const QString& display = Name());
std::optional<QPoint> Origin(const QString& title, const QString& display = Name());
// Puts it below every other window, as a click on another one would.
bool Lower(const QString& title, const QString& display = Name());
bool IsAbove(const QString& upper, const QString& lower, const QString& display = Name());

// Minimises the windows as a window manager does, by the iconic WM_STATE;
// with `leaveScreen`, as for a taskbar, they are unmapped too. Returns how many.
int Minimise(const QString& title, const QString& display, bool leaveScreen);

// The title of the top-level window holding the input focus.
QString FocusTitle(const QString& display);

// Another program's window titled "cover": over the whole screen with the
// input focus for as long as the handle lives.
std::shared_ptr<void> Cover(const QString& display);

bool HasSelectionOwner(const char* selection, const QString& display);

// The screen centre of a mapped window of the program `resourceName` (its
// WM_CLASS) embedded into another client's window: its tray icon.
std::optional<QPoint> EmbeddedWindowCentre(const QString& resourceName, const QString& display);

// Presses and releases `button` at `where` through XTEST, as a real mouse.
bool Click(const QString& display, QPoint where, unsigned int button);

}  // namespace zelto::test::xdisplay
