#include <QApplication>
#include <QElapsedTimer>
#include <QSessionManager>
#include <cstdio>

#include "mainwindow/form1.h"
#include "platform/clock.h"
#include "platform/instancelock.h"
#include "platform/messagebox.h"
#include "platform/programfolder.h"
#include "platform/signalwatch.h"
#include "store/datafile.h"

namespace {

// With ZELTO_STARTUP_MARK set, the program reports on stderr how long its
// start-up phases took ("zelto-phase <name> <ms since main>") and when the
// main window is first painted ("zelto-shown"): the end-to-end tests wait
// for that line and the start-up benchmark times it.
class StartupMark : public QObject {
 public:
  StartupMark() : enabled_(qEnvironmentVariableIsSet("ZELTO_STARTUP_MARK")) { clock_.start(); }
  void Phase(const char* name) {
    if (enabled_) std::fprintf(stderr, "zelto-phase %s %.3f\n", name, clock_.nsecsElapsed() / 1e6);
  }
  void WatchFirstPaint(QWidget* window) {
    if (enabled_) window->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      Phase("painted");
      std::fprintf(stderr, "zelto-shown\n");
      std::fflush(stderr);
      watched->removeEventFilter(this);
    }
    return false;
  }

 private:
  bool enabled_;
  QElapsedTimer clock_;
};

}  // namespace

int main(int argc, char* argv[]) {
  StartupMark mark;
  QApplication app(argc, argv);
  QGuiApplication::setDesktopFileName(ZELTO_APP_ID);
  // The main window may be hidden in the tray while a message box closes:
  // only the shutdown ends the program.
  app.setQuitOnLastWindowClosed(false);
  mark.Phase("qt");

  zelto::MessageBoxes prompter;
  zelto::InstanceLock lock(QCoreApplication::applicationDirPath());
  if (lock.Acquire() == zelto::InstanceLock::Result::AlreadyRunning) {
    prompter.Ask("Already running....", zelto::kAppTitle, zelto::Buttons::Ok);
    return 0;
  }
  mark.Phase("lock");

  auto table = zelto::MakeTaskTable();
  zelto::SystemClock clock;
  zelto::Form1 window(*table, clock, prompter, zelto::ProgramFolder());
  prompter.SetParent(&window);
  mark.Phase("window");
  window.StartUpStepDone = [&mark](const char* step) { mark.Phase(step); };
  window.StartUp();
  mark.Phase("startup");

  // Being asked to end by a signal, or by the session manager (it asks for
  // the data first, then makes the program quit), saves like a close, also
  // while the window is hidden in the tray: nothing closes it for us there.
  // Watched from the end of start-up on: before, nothing needs saving.
  zelto::SignalWatch signalWatch;
  QObject::connect(&signalWatch, &zelto::SignalWatch::Received, &window, &zelto::Form1::EndSession);
  QObject::connect(&app, &QGuiApplication::commitDataRequest, &window,
                   [&window](QSessionManager&) { window.CommitData(); });
  QObject::connect(&app, &QCoreApplication::aboutToQuit, &window, &zelto::Form1::EndSession);

  mark.WatchFirstPaint(&window);
  window.ShowAtStartUp();
  mark.Phase("show");
  return app.exec();
}
