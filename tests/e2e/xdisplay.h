#pragma once

#include <QString>

// A private X server (Xvfb) for the end-to-end tests, started on first use.
// Without a window manager the program's windows sit right under the root
// window, and the window system's close request is a WM_DELETE_WINDOW
// client message that we send ourselves.
namespace zelto::test::xdisplay {

QString Name();                          // ":N", or empty when no server could start
int RequestClose(const QString& title);  // asks every window titled `title`; how many
bool HasWindow(const QString& title);    // whether one such window is mapped

}  // namespace zelto::test::xdisplay
