#pragma once

#include <sys/types.h>
#include <QString>

namespace zelto::test {

// A private X server (Xvfb) for the end-to-end tests, started on first use
// and stopped at process exit. Without a window manager the program's
// windows sit directly under the root window, and the window system's close
// request is a WM_DELETE_WINDOW client message that we send ourselves.
class XDisplay {
 public:
  // ":N" of the running server, or an empty string when none could start.
  static QString Name();

  // Sends WM_DELETE_WINDOW to every top-level window of process `pid` whose
  // title is `title`. Returns how many windows were asked.
  static int RequestClose(pid_t pid, const QString& title);

  // Whether process `pid` has a mapped top-level window titled `title`.
  static bool HasWindow(pid_t pid, const QString& title);
};

}  // namespace zelto::test
