#include <fontconfig/fontconfig.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QSessionManager>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>
#include <thread>

#include "cli/commandline.h"
#include "mainwindow/form1.h"
#include "platform/clock.h"
#include "platform/instancecall.h"
#include "platform/instancelock.h"
#include "platform/messagebox.h"
#include "platform/programfolder.h"
#include "platform/signalwatch.h"
#include "store/datafile.h"

namespace {

// With ZELTO_STARTUP_MARK set, the program reports on stderr how long its
// start-up phases took ("zelto-phase <name> <ms since main>") and when the
// main window is first painted ("zelto-shown"): the end-to-end tests wait
// for that line and the start-up benchmark times it. "zelto-settled" follows
// when the work left for after the first paint is done.
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
      // Once the event loop has run again, whatever start-up left for after
      // the first paint has been done: the benchmark reads the memory then.
      QTimer::singleShot(0, this, [] {
        std::fprintf(stderr, "zelto-settled\n");
        std::fflush(stderr);
      });
    }
    return false;
  }

 private:
  bool enabled_;
  QElapsedTimer clock_;
};

// A second copy on the same folder brings the running one forward, says so
// and ends; where no lock can be taken, the user is told and the program
// runs all the same.
bool MayRun(const zelto::InstanceLock& lock, zelto::InstanceLock::Result locked,
            const std::filesystem::path& folder, zelto::MessageBoxes& prompter) {
  switch (locked) {
    case zelto::InstanceLock::Result::AlreadyRunning:
      // Called first, so that the running window is in front when the
      // message comes up over it and stays there when it is dismissed.
      zelto::InstanceCall::Call(zelto::InstanceCall::ChannelName(folder));
      prompter.Ask("Already running....", zelto::kAppTitle, zelto::Buttons::Ok);
      return false;
    case zelto::InstanceLock::Result::Unavailable:
      // Refusing to start would lock the user out of a folder they can only
      // read; running unguarded is what they get, and they are told.
      prompter.Ask(QStringLiteral("The program cannot make sure that only one copy of it runs on "
                                  "this folder: %1 cannot be opened (%2).\n\nIf you start "
                                  "a second copy here, what you change in one of them may be lost.")
                       .arg(lock.FilePath(), lock.Problem()),
                   QString::fromUtf8(zelto::kAppTitle.data(),
                                     static_cast<qsizetype>(zelto::kAppTitle.size())),
                   zelto::Buttons::Ok);
      return true;
    case zelto::InstanceLock::Result::Acquired:
      return true;
  }
  return true;
}

// Only the lock's holder may take the channel over: without the lock,
// another copy may be listening on it.
void ListenForSecondStarts(zelto::InstanceCall& call, zelto::Lifecycle& life,
                           const std::filesystem::path& folder) {
  QObject::connect(&call, &zelto::InstanceCall::Called, &life, [&life] {
    life.BringBack();
    // An open dialog would otherwise stay behind the window it belongs to.
    if (QWidget* modal = QApplication::activeModalWidget()) {
      modal->raise();
      modal->activateWindow();
    }
  });
  call.Listen(zelto::InstanceCall::ChannelName(folder));
}

}  // namespace

int main(int argc, char* argv[]) {
  {
    // Commands for scripts and panels run without a window or a display.
    const zelto::SystemClock clock;
    if (const auto code = zelto::RunCommandLine(
            argc, argv, zelto::DataFolder(ZELTO_APP_ID, ZELTO_DATA_FROM_BIN, false), clock)) {
      return *code;
    }
  }
  StartupMark mark;
  // Reading the font configuration takes milliseconds, and the first text
  // the window lays out waits for it: it is read beside the toolkit's own
  // start, which needs no fonts, and is ready before the window is made.
  // Without a thread to spare, the toolkit reads it itself when needed.
  std::thread fontConfiguration;
  try {
    fontConfiguration = std::thread([] { FcInit(); });
  } catch (const std::system_error&) {
  }
  // The data file too takes milliseconds to read and load on a cold start,
  // and nothing of the toolkit is needed for it. Once this instance holds
  // the lock, the window takes what was loaded if the file is unchanged.
  std::optional<zelto::EarlyLoad> early;
  std::thread dataFile;
  try {
    dataFile = std::thread([&early] {
      try {
        early = zelto::LoadEarly(zelto::DataFolder(ZELTO_APP_ID, ZELTO_DATA_FROM_BIN, false));
      } catch (...) {
        early.reset();  // start-up reads it again
      }
    });
  } catch (const std::system_error&) {
  }
  QApplication app(argc, argv);
  if (fontConfiguration.joinable()) fontConfiguration.join();
  QGuiApplication::setDesktopFileName(ZELTO_APP_ID);
  // The main window may be hidden in the tray while a message box closes:
  // only the shutdown ends the program.
  app.setQuitOnLastWindowClosed(false);
  mark.Phase("qt");

  zelto::MessageBoxes prompter;
  const std::filesystem::path folder = zelto::DataFolder(ZELTO_APP_ID, ZELTO_DATA_FROM_BIN);
  zelto::InstanceLock lock(folder);
  const zelto::InstanceLock::Result locked = lock.Acquire();
  if (dataFile.joinable()) dataFile.join();
  if (!MayRun(lock, locked, folder, prompter)) return 0;
  mark.Phase("lock");

  if (!early) early = zelto::LoadEarly(folder);
  const std::unique_ptr<zelto::TaskTable> table = std::move(early->table);
  zelto::SystemClock clock;
  zelto::Form1 window(*table, clock, prompter, folder);
  prompter.SetParent(&window);
  mark.Phase("window");
  zelto::Lifecycle& life = window.Life();
  life.StartUpStepDone = [&mark](const char* step) { mark.Phase(step); };
  life.StartUp(&*early);
  mark.Phase("startup");

  // Being asked to end by a signal, or by the session manager (it asks for
  // the data first, then makes the program quit), saves like a close, also
  // while the window is hidden in the tray: nothing closes it for us there.
  // Watched from the end of start-up on: before, nothing needs saving.
  zelto::SignalWatch signalWatch;
  QObject::connect(&signalWatch, &zelto::SignalWatch::Received, &life,
                   &zelto::Lifecycle::EndSession);
  QObject::connect(&app, &QGuiApplication::commitDataRequest, &life,
                   [&life](QSessionManager&) { life.CommitData(); });
  QObject::connect(&app, &QCoreApplication::aboutToQuit, &life, &zelto::Lifecycle::EndSession);

  zelto::InstanceCall call;
  if (locked == zelto::InstanceLock::Result::Acquired) ListenForSecondStarts(call, life, folder);

  mark.WatchFirstPaint(&window);
  life.ShowAtStartUp();
  mark.Phase("show");
  return app.exec();
}
