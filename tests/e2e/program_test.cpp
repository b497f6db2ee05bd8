// The real program as a process: copied into a fresh folder (a separate
// installation), shown on a private X server, closed by the window system's
// close request or ended by a signal, with its message boxes answered from
// ZELTO_AUTO_ANSWER.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <filesystem>
#include <map>
#include <optional>

#include "store/datafile.h"
#include "support/core/fakes.h"
#include "xdisplay.h"

namespace zelto::test {
namespace {

namespace fs = std::filesystem;
namespace x = xdisplay;

const QString kWindowTitle = QStringLiteral("Zelto Todo List v2.3");
const QString kQuestion =
    "zelto-message\tZelto Todo List save data\tThere was an error opening the data file... Do "
    "you really want to save this data?\t";

std::string Mask(int selected) {  // -1: all
  std::string line;
  for (int i = 0; i < 31; ++i)
    line += (i ? "," : "") + std::string(selected < 0 || i == selected ? "1" : "0");
  return line + "\r\n";
}

// Two tasks that the start-up refresh leaves as they are: nothing is due.
const std::string kContent =
    "*****\r\n 3 \r\nWater the plants\r\n"
    "1899-12-30-00\t2024-03-04-18\t2099-03-07-18\r\n0,3,1,3,2024\r\n" +
    Mask(18) + Mask(-1) + Mask(-1) + Mask(-1) +
    "*****\r\n 12 \r\nPay rent\r\n"
    "2024-03-01-10\t2024-03-01-09\tMore than 1 year\r\n-1,0,0,0,0\r\n" +
    Mask(9) + Mask(-1) + Mask(0) + Mask(-1) + "*** end\r\n";
const std::string kPosition = "150\t90\t6000\t7995\t0\r\n700\t3000.5\t2100\r\n1\t1\t2\t0\r\n";

// Polls `condition` for up to 20 s.
template <typename Condition>
bool Eventually(Condition condition) {
  QElapsedTimer timer;
  timer.start();
  while (!condition()) {
    if (timer.elapsed() > 20000) return false;
    QThread::msleep(50);
  }
  return true;
}

class Program {
 public:
  // `answers` for the message boxes; a null string leaves them on screen.
  // `environment` adds to the test's own; an empty value removes one.
  explicit Program(const fs::path& folder, const QString& answers = "",
                   const QString& display = x::Name(),
                   const std::map<QString, QString>& environment = {})
      : display_(display) {
    const fs::path executable = folder / "zelto-todo";
    if (!fs::exists(executable)) fs::copy_file(ZELTO_EXECUTABLE, executable);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display);
    // The notification area is the X server's own (XEmbed), never one
    // reached over a session bus.
    env.remove("DBUS_SESSION_BUS_ADDRESS");
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("ZELTO_STARTUP_MARK", "1");
    env.remove("ZELTO_AUTO_ANSWER");
    if (!answers.isNull()) env.insert("ZELTO_AUTO_ANSWER", answers);
    env.remove("SESSION_MANAGER");
    for (const auto& [name, value] : environment)
      value.isEmpty() ? env.remove(name) : env.insert(name, value);
    process_.setProcessEnvironment(env);
    process_.setWorkingDirectory("/");
    process_.start(QString::fromStdString(executable.string()), {});
  }
  ~Program() {
    process_.kill();
    process_.waitForFinished(5000);
  }

  // Waits until stderr holds `text`; fails when the process ends first.
  testing::AssertionResult WaitFor(const QString& text) {
    QElapsedTimer timer;
    timer.start();
    while (!Stderr().contains(text)) {
      if (!Running() || timer.elapsed() > 20000)
        return testing::AssertionFailure() << Stderr().toStdString();
      process_.waitForReadyRead(50);
    }
    return testing::AssertionSuccess();
  }
  testing::AssertionResult WaitShown() { return WaitFor("zelto-shown"); }
  bool RequestClose() { return x::RequestClose(kWindowTitle, display_) > 0; }
  void Signal(int number) {
    // An ended process has no id, and kill(0) would signal the tests themselves.
    if (const auto pid = static_cast<pid_t>(process_.processId()); pid > 0) ::kill(pid, number);
  }
  bool WaitExit() { return !Running() || process_.waitForFinished(20000); }
  bool Running() {
    process_.waitForFinished(0);  // notices an end without an event loop
    return process_.state() != QProcess::NotRunning;
  }
  // Whether the process died of a signal (a crash) rather than ending.
  bool Crashed() { return !Running() && process_.exitStatus() == QProcess::CrashExit; }
  bool ExitedNormally() const {
    return process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == 0;
  }
  QString Poll() {  // Stderr after a short wait for more
    process_.waitForReadyRead(20);
    return Stderr();
  }
  QString Stderr() { return stderr_ += QString::fromUtf8(process_.readAllStandardError()); }

 private:
  QString display_;
  QProcess process_;
  QString stderr_;
};

class EndToEnd : public testing::Test {
 protected:
  void SetUp() override {
    if (x::Name().isEmpty()) GTEST_SKIP() << "no Xvfb to show the window on";
    WriteFileBytes(File("content.txt"), kContent);
  }
  fs::path File(const char* name) const { return folder_ / name; }
  TempFolder folder_;
};

// A killed instance leaves its lock behind; the next start runs all the
// same, and the window system's close request saves both files.
TEST_F(EndToEnd, AfterAKillTheNextStartRunsAndItsCloseSaves) {
  WriteFileBytes(File("position.txt"), kPosition);
  {
    Program crashed(folder_.path());
    ASSERT_TRUE(crashed.WaitShown());
    crashed.Signal(SIGKILL);
    ASSERT_TRUE(crashed.WaitExit());
  }
  Program program(folder_.path());
  ASSERT_TRUE(program.WaitShown());
  ASSERT_TRUE(program.RequestClose());
  ASSERT_TRUE(program.WaitExit());
  EXPECT_TRUE(program.ExitedNormally()) << program.Stderr().toStdString();
  EXPECT_FALSE(program.Stderr().contains("zelto-message")) << program.Stderr().toStdString();
  EXPECT_EQ(ReadFileBytes(File("content.txt")), kContent);
  EXPECT_EQ(ReadFileBytes(File("content.tmp")), kContent);
  // Placement, column widths and sort settings come back as they were.
  EXPECT_EQ(ReadFileBytes(File("position.txt")), kPosition);
}

// The hour watch unticks a done task whose next occurrence has come; the
// change is saved by itself, so that a process killed afterwards, without
// any close, has lost nothing.
TEST_F(EndToEnd, AChangeIsSavedByItselfBeforeAKill) {
  const std::string due =
      "*****\r\n 4 \r\nTake the bins out\r\n"
      "2024-03-02-09\t2024-03-02-09\t2024-03-03-09\r\n-1,1,1,1,2024\r\n" +
      Mask(9) + Mask(-1) + Mask(-1) + Mask(-1) + "*** end\r\n";
  WriteFileBytes(File("content.txt"), due);
  Program program(folder_.path(), "", x::Name(), {{"ZELTO_FIXED_NOW", "2024-03-05 10:00"}});
  ASSERT_TRUE(program.WaitShown());
  ASSERT_TRUE(Eventually([&] { return ReadFileBytes(File("content.txt")) != due; }));
  program.Signal(SIGKILL);
  ASSERT_TRUE(program.WaitExit());
  EXPECT_TRUE(program.Crashed());
  EXPECT_FALSE(program.Stderr().contains("zelto-message")) << program.Stderr().toStdString();

  auto table = MakeTaskTable();
  ASSERT_TRUE(LoadDataFile(*table, folder_.path()).Read());
  EXPECT_EQ(table->TaskText[4], "Take the bins out");
  EXPECT_EQ(table->TaskChecked[4], 0);
  EXPECT_EQ(ReadFileBytes(File("content.tmp")), ReadFileBytes(File("content.txt")));
}

// A second start shows its message, touches no file, and brings the running
// copy's window to the front: back from the taskbar with the input focus,
// or up from behind another program's window.
TEST_F(EndToEnd, SecondStartShowsItsMessageAndBringsTheRunningWindowForward) {
  WriteFileBytes(File("position.txt"), kPosition);
  const auto contentTime = fs::last_write_time(File("content.txt"));
  const auto positionTime = fs::last_write_time(File("position.txt"));
  for (const bool minimised : {true, false}) {
    SCOPED_TRACE(minimised ? "minimised" : "behind another window");
    Program first(folder_.path());
    ASSERT_TRUE(first.WaitShown());
    std::optional<x::Cover> cover;
    if (minimised) {
      ASSERT_EQ(x::Minimise(kWindowTitle, x::Name()), 1);
      ASSERT_FALSE(x::HasWindow(kWindowTitle));
    } else {
      cover.emplace(x::Name());
      ASSERT_EQ(x::TopTitle(x::Name()), "cover");
    }
    Program second(folder_.path(), "ok");
    ASSERT_TRUE(second.WaitExit());
    EXPECT_TRUE(second.ExitedNormally());
    EXPECT_EQ(second.Stderr().count("zelto-message\tZelto Todo List\tAlready running....\tok"), 1);
    EXPECT_EQ(second.Stderr().count("zelto-message"), 1);
    EXPECT_TRUE(Eventually([] { return x::TopTitle(x::Name()) == kWindowTitle; }));
    // The focus only where no other program took it later: without a window
    // manager the server grants it by time, and the cover's request is
    // newer than any time the program has been told.
    if (minimised) {
      EXPECT_TRUE(Eventually([] { return x::FocusTitle(x::Name()) == kWindowTitle; }));
    }
    EXPECT_EQ(x::MappedWindows(kWindowTitle), 1);
    EXPECT_EQ(fs::last_write_time(File("content.txt")), contentTime);
    EXPECT_EQ(fs::last_write_time(File("position.txt")), positionTime);
    EXPECT_FALSE(fs::exists(File("content.tmp")));
    EXPECT_TRUE(first.Running());
    // Killed, not closed: a close would save.
  }
}

TEST_F(EndToEnd, TerminationSignalsSave) {
  for (int number : {SIGTERM, SIGHUP, SIGINT}) {
    SCOPED_TRACE(number);
    fs::remove(File("content.tmp"));
    Program program(folder_.path());
    ASSERT_TRUE(program.WaitShown());
    program.Signal(number);
    ASSERT_TRUE(program.WaitExit());
    EXPECT_TRUE(program.ExitedNormally()) << program.Stderr().toStdString();
    EXPECT_EQ(ReadFileBytes(File("content.tmp")), kContent);
    EXPECT_NE(ReadFileBytes(File("position.txt")).find("\r\n650\t3100\t2000\r\n"),
              std::string::npos)
        << "without a position file, the start-up column widths";
  }
}

// Cancel keeps the window open; then No saves nothing, Yes an empty list.
TEST_F(EndToEnd, WithoutContentTheCloseAsks) {
  fs::remove(File("content.txt"));
  for (const std::string last : {"no", "yes"}) {
    SCOPED_TRACE(last);
    Program program(folder_.path(), QString::fromStdString("cancel," + last));
    ASSERT_TRUE(program.WaitShown());
    ASSERT_TRUE(program.RequestClose());
    ASSERT_TRUE(program.WaitFor(kQuestion + "cancel"));
    QThread::msleep(300);
    EXPECT_TRUE(x::HasWindow(kWindowTitle)) << "Cancel keeps the window open";
    EXPECT_FALSE(fs::exists(File("position.txt")));

    ASSERT_TRUE(program.RequestClose());
    ASSERT_TRUE(program.WaitExit());
    EXPECT_TRUE(program.Stderr().contains(kQuestion + last.c_str()));
    EXPECT_EQ(fs::exists(File("content.txt")) ? ReadFileBytes(File("content.txt")) : "none",
              last == "yes" ? "*** end\r\n" : "none");
  }
}

// A save that fails at the close says why and asks: by default the window
// stays, so nothing is lost; trying again once the cause is gone saves and
// closes; closing without saving leaves content.txt as it was.
TEST_F(EndToEnd, AfterAFailedSaveTheCloseAsksWhatToDo) {
  const QString failed = "zelto-message\tZelto Todo List\tError saving file!\\n" +
                         QString::fromStdString(File("content.tmp").string()) +
                         ": Is a directory\t";
  for (const bool discard : {false, true}) {
    SCOPED_TRACE(discard);
    fs::remove(File("content.tmp"));
    fs::create_directory(File("content.tmp"));  // where the save must write
    Program program(folder_.path(), discard ? "cancel,yes,no" : "");
    ASSERT_TRUE(program.WaitShown());
    ASSERT_TRUE(program.RequestClose());
    ASSERT_TRUE(program.WaitFor(failed + "cancel"));
    QThread::msleep(300);
    EXPECT_TRUE(program.Running()) << "nothing may be lost: the window stays";
    if (!discard) fs::remove(File("content.tmp"));
    ASSERT_TRUE(program.RequestClose());
    ASSERT_TRUE(program.WaitExit());
    EXPECT_TRUE(program.ExitedNormally());
    if (discard) {
      EXPECT_EQ(program.Stderr().count(failed), 3) << "tried again once, in vain";
      EXPECT_TRUE(program.Stderr().endsWith(failed + "no\n"));
      EXPECT_TRUE(fs::is_directory(File("content.tmp")));
    } else {
      EXPECT_EQ(program.Stderr().count(failed), 1);
      EXPECT_EQ(ReadFileBytes(File("content.tmp")), kContent);
    }
    EXPECT_EQ(ReadFileBytes(File("content.txt")), kContent);
  }
}

// No lock can be taken (the lock file's name leads nowhere), and the save
// fails: the program says it runs unguarded, runs, and a signal ends it
// whatever the save did.
TEST_F(EndToEnd, NoLockPossibleRunsAndASignalEndsItThoughTheSaveFails) {
  fs::create_symlink("missing/instance.lock", File("instance.lock"));
  fs::create_directory(File("content.tmp"));
  Program program(folder_.path());
  ASSERT_TRUE(program.WaitShown());
  EXPECT_EQ(program.Stderr().count("only one copy of it runs on this folder"), 1)
      << program.Stderr().toStdString();
  program.Signal(SIGTERM);
  ASSERT_TRUE(program.WaitExit());
  EXPECT_TRUE(program.Stderr().contains("Error saving file!"));
  EXPECT_EQ(ReadFileBytes(File("content.txt")), kContent);
}

// Whatever an earlier copy or another computer left in instance.lock, the
// next start runs without a word, and it still keeps a second copy out.
TEST_F(EndToEnd, LeftoverLockFilesNeitherBlockNorSwitchTheGuardOff) {
  const struct {
    const char* name;
    std::string contents;
    bool leftByAKilledCopy;
  } cases[] = {
      {"empty", "", false},
      {"garbage", std::string("\xff\xfe\x00\x01 not a lock \x7f", 18), false},
      // The older lock file's format: process, program, computer, boot.
      {"another machine", "31337\nzelto-todo\nsomeone-elses-laptop\n5f3a9c\n", false},
      {"killed copy", "", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(File("instance.lock"));
    if (c.leftByAKilledCopy) {
      Program killed(folder_.path());
      ASSERT_TRUE(killed.WaitShown());
      killed.Signal(SIGKILL);
      ASSERT_TRUE(killed.WaitExit());
      ASSERT_TRUE(fs::exists(File("instance.lock")));
    } else {
      WriteFileBytes(File("instance.lock"), c.contents);
    }
    Program first(folder_.path());
    ASSERT_TRUE(first.WaitShown());
    EXPECT_FALSE(first.Stderr().contains("zelto-message")) << first.Stderr().toStdString();
    Program second(folder_.path(), "ok");
    ASSERT_TRUE(second.WaitExit());
    EXPECT_EQ(second.Stderr().count("zelto-message\tZelto Todo List\tAlready running....\tok"), 1);
    EXPECT_EQ(second.Stderr().count("zelto-message"), 1);
    EXPECT_TRUE(first.Running());
    ASSERT_TRUE(first.RequestClose());
    ASSERT_TRUE(first.WaitExit());
  }
}

// Two starts at the same moment: exactly one of them runs.
TEST_F(EndToEnd, TwoStartsAtOnceMakeOneWindow) {
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    fs::remove(File("instance.lock"));
    Program a(folder_.path(), "ok"), b(folder_.path(), "ok");
    const QString refusal = "Already running....";
    ASSERT_TRUE(
        Eventually([&] { return a.Poll().contains(refusal) || b.Poll().contains(refusal); }));
    Program& refused = b.Stderr().contains(refusal) ? b : a;
    Program& runs = &refused == &b ? a : b;
    ASSERT_TRUE(refused.WaitExit());
    ASSERT_TRUE(runs.WaitShown());
    EXPECT_EQ(x::MappedWindows(kWindowTitle), 1);
    EXPECT_EQ(a.Stderr().count("Already running....") + b.Stderr().count("Already running...."), 1);
    ASSERT_TRUE(runs.RequestClose());
    ASSERT_TRUE(runs.WaitExit());
  }
}

// The save's question is on screen when the signal comes: it waits for an
// answer, and a second signal ends the program without saving.
TEST_F(EndToEnd, SecondSignalEndsWhileTheQuestionWaits) {
  fs::remove(File("content.txt"));
  Program program(folder_.path(), QString());
  ASSERT_TRUE(program.WaitShown());
  program.Signal(SIGTERM);
  for (int i = 0; i < 200 && !x::HasWindow("Zelto Todo List save data"); ++i) QThread::msleep(50);
  ASSERT_TRUE(x::HasWindow("Zelto Todo List save data"));
  EXPECT_TRUE(program.Running());
  program.Signal(SIGTERM);
  ASSERT_TRUE(program.WaitExit());
  EXPECT_TRUE(program.ExitedNormally()) << program.Stderr().toStdString();
  EXPECT_FALSE(fs::exists(File("content.txt")));
  EXPECT_FALSE(fs::exists(File("position.txt")));
}

// A folder whose name is not UTF-8 (Latin-1 "é") is found, read, locked
// and saved by its own bytes. The program is started through a link, which
// the kernel resolves to the real folder.
TEST_F(EndToEnd, AFolderNameThatIsNotUtf8IsUsedByItsBytes) {
  const fs::path folder = folder_.path() / "caf\xe9";
  fs::create_directory(folder);
  WriteFileBytes(folder / "content.txt", kContent);
  fs::copy_file(ZELTO_EXECUTABLE, folder / "zelto-todo");
  fs::create_symlink(folder / "zelto-todo", File("zelto-todo"));
  fs::remove(File("content.txt"));
  Program program(folder_.path());
  ASSERT_TRUE(program.WaitShown());
  EXPECT_TRUE(fs::exists(folder / "instance.lock"));
  ASSERT_TRUE(program.RequestClose());
  ASSERT_TRUE(program.WaitExit());
  EXPECT_TRUE(program.ExitedNormally());
  EXPECT_FALSE(program.Stderr().contains("zelto-message")) << program.Stderr().toStdString();
  EXPECT_EQ(ReadFileBytes(folder / "content.tmp"), kContent);
  EXPECT_TRUE(fs::exists(folder / "position.txt"));
  EXPECT_FALSE(fs::exists(File("content.txt")));
}

// Installed by `cmake --install`, the program keeps its files in the user's
// data folder, made with the user's umask; the same executable copied out
// of the install keeps them beside itself.
TEST_F(EndToEnd, AnInstalledCopyKeepsItsFilesInTheUsersDataFolder) {
  const fs::path prefix = folder_.path() / "prefix", home = folder_.path() / "home";
  QProcess install;
  install.setProcessChannelMode(QProcess::MergedChannels);
  install.start(
      "cmake", {"--install", ZELTO_BUILD_DIR, "--prefix", QString::fromStdString(prefix.string())});
  ASSERT_TRUE(install.waitForFinished(60000));
  ASSERT_EQ(install.exitCode(), 0) << install.readAll().toStdString();
  const fs::path installed = prefix / "bin";
  ASSERT_TRUE(fs::exists(installed / "zelto-todo"));
  const fs::path copied = folder_.path() / "copied";
  fs::create_directory(copied);
  fs::copy_file(installed / "zelto-todo", copied / "zelto-todo");

  const QString homeText = QString::fromStdString(home.string());
  const struct {
    const char* name;
    fs::path executableFolder;
    QString dataHome;
    fs::path expected;
  } cases[] = {
      {"installed, XDG_DATA_HOME set", installed, homeText + "/data", home / "data" / ZELTO_APP_ID},
      {"installed, no XDG_DATA_HOME", installed, "", home / ".local/share" / ZELTO_APP_ID},
      {"installed, XDG_DATA_HOME relative", installed, "data",
       home / ".local/share" / ZELTO_APP_ID},
      {"copied out of the install", copied, homeText + "/data", copied},
  };
  const mode_t saved = ::umask(027);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(home);
    fs::create_directory(home);
    Program program(c.executableFolder, "", x::Name(),
                    {{"HOME", homeText}, {"XDG_DATA_HOME", c.dataHome}});
    ASSERT_TRUE(program.WaitShown());
    EXPECT_TRUE(fs::exists(c.expected / "instance.lock"));
    ASSERT_TRUE(program.RequestClose());
    ASSERT_TRUE(program.WaitExit());
    EXPECT_TRUE(program.ExitedNormally());
    for (const char* file : {"content.tmp", "position.txt", "instance.lock"})
      EXPECT_TRUE(fs::exists(c.expected / file)) << file;
    for (const fs::path& other : {installed, copied, home}) {
      if (!c.expected.string().starts_with(other.string())) {
        EXPECT_FALSE(fs::exists(other / "position.txt")) << other;
      }
    }
    if (c.expected != copied) {
      EXPECT_EQ(fs::status(c.expected).permissions(), fs::perms(0750)) << "the user's umask";
    }
  }
  ::umask(saved);
  EXPECT_FALSE(fs::exists(installed / "instance.lock"));
}

// A data file far larger than memory is refused with one message at
// start-up, and the close asks before anything replaces it.
TEST_F(EndToEnd, AHugeDataFileIsRefusedAndNotReplacedWithoutAQuestion) {
  fs::resize_file(File("content.txt"), std::uintmax_t{1} << 40);
  Program program(folder_.path(), "ok,no");
  ASSERT_TRUE(program.WaitShown());
  EXPECT_EQ(program.Stderr().count("zelto-message\tZelto Todo List\tThe data file " +
                                   QString::fromStdString(File("content.txt").string()) +
                                   " could not be loaded (it is larger than 64 MiB)."),
            1);
  ASSERT_TRUE(program.RequestClose());
  ASSERT_TRUE(program.WaitExit());
  EXPECT_TRUE(program.ExitedNormally());
  EXPECT_TRUE(program.Stderr().contains(kQuestion + "no"));
  EXPECT_EQ(program.Stderr().count("zelto-message"), 2);
  EXPECT_EQ(fs::file_size(File("content.txt")), std::uintmax_t{1} << 40);
}

// The editor belongs to the main window, so that a window manager keeps it
// above; and the main window's close button, which works on the disabled
// window too, brings the editor forward instead of dropping the edit.
TEST_F(EndToEnd, TheEditorBelongsToTheWindowAndHoldsItOpen) {
  const QString editor = QStringLiteral("New / Edit Task");
  WriteFileBytes(File("position.txt"), kPosition);
  Program program(folder_.path());
  ASSERT_TRUE(program.WaitShown());
  const auto origin = x::Origin(kWindowTitle);
  ASSERT_TRUE(origin);
  ASSERT_TRUE(x::Click(x::Name(), *origin + QPoint(151, 23), 1));  // "New task"
  ASSERT_TRUE(Eventually([&] { return x::HasWindow(editor); })) << program.Stderr().toStdString();
  const auto owner = x::TransientFor(editor);
  ASSERT_TRUE(owner);
  EXPECT_EQ(*owner, x::WindowId(kWindowTitle).value_or(0));

  ASSERT_TRUE(x::Lower(editor));
  ASSERT_TRUE(x::IsAbove(kWindowTitle, editor));
  ASSERT_TRUE(program.RequestClose());
  EXPECT_TRUE(Eventually([&] { return x::IsAbove(editor, kWindowTitle) || !program.Running(); }));
  EXPECT_TRUE(program.Running());
  EXPECT_TRUE(x::HasWindow(kWindowTitle));
  EXPECT_TRUE(x::HasWindow(editor));
  EXPECT_FALSE(fs::exists(File("content.tmp"))) << "nothing saved";

  program.Signal(SIGTERM);
  ASSERT_TRUE(program.WaitExit());
  EXPECT_TRUE(program.ExitedNormally());
  EXPECT_EQ(ReadFileBytes(File("content.tmp")), kContent);
}

// A desktop with a real XEmbed notification area: its own X server, so that
// the shared one stays without, and the tray program on it.
class WithTray : public EndToEnd {
 protected:
  void SetUp() override {
    EndToEnd::SetUp();
    if (IsSkipped()) return;
    display_ = x::NewServer();
    ASSERT_FALSE(display_.isEmpty());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display_);
    tray_.setProcessEnvironment(env);
    tray_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    tray_.start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "request"});
    if (!tray_.waitForStarted(10000)) GTEST_SKIP() << "trayer is not installed";
    ASSERT_TRUE(Eventually([&] { return x::HasSelectionOwner("_NET_SYSTEM_TRAY_S0", display_); }))
        << "the notification area never came up";
  }
  void TearDown() override {
    tray_.kill();
    tray_.waitForFinished(5000);
  }

  std::optional<QPoint> Icon() const { return x::EmbeddedWindowCentre("zelto-todo", display_); }
  bool Shown() const { return x::HasWindow(kWindowTitle, display_); }

  QString display_;
  QProcess tray_;
};

// Minimised, the window waits behind its icon; the right and the left
// button on the icon each bring it back, and the program lives on.
TEST_F(WithTray, EitherButtonOnTheIconBringsTheWindowBack) {
  Program program(folder_.path(), "", display_);
  ASSERT_TRUE(program.WaitShown());
  for (const unsigned int button : {3u, 1u, 3u}) {
    SCOPED_TRACE(button);
    ASSERT_EQ(x::Iconify(kWindowTitle, display_), 1);
    ASSERT_TRUE(Eventually([&] { return Icon() && !Shown(); }))
        << "minimised, the window leaves the screen for the notification area";
    ASSERT_TRUE(x::Click(display_, *Icon(), button));
    EXPECT_TRUE(Eventually([&] { return Shown() || !program.Running(); }));
    ASSERT_FALSE(program.Crashed()) << program.Stderr().toStdString();
    EXPECT_TRUE(Shown());
    EXPECT_TRUE(Eventually([&] { return !Icon(); })) << "the icon leaves with the window's return";
  }
  ASSERT_TRUE(program.RequestClose());
  ASSERT_TRUE(program.WaitExit());
  EXPECT_TRUE(program.ExitedNormally());
  EXPECT_EQ(ReadFileBytes(File("content.txt")), kContent);
}

// A script asking what is due while the window runs reads the same tasks
// and leaves every file of the folder, the lock included, as it was.
TEST_F(EndToEnd, ListingWhileTheWindowRunsChangesNoFile) {
  WriteFileBytes(File("position.txt"), kPosition);
  Program program(folder_.path());
  ASSERT_TRUE(program.WaitShown());
  const auto snapshot = [this] {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(folder_.path())) {
      files[entry.path().filename().string()] = ReadFileBytes(entry.path());
    }
    return files;
  };
  const auto before = snapshot();
  ASSERT_TRUE(before.contains("instance.lock"));
  QProcess list;
  list.start(QString::fromStdString(File("zelto-todo").string()), {"--list"});
  ASSERT_TRUE(list.waitForFinished(20000));
  EXPECT_EQ(list.exitCode(), 0);
  EXPECT_EQ(list.readAllStandardOutput().toStdString(), "3\t2024-03-04 18:00\tWater the plants\n");
  EXPECT_EQ(snapshot(), before);
  EXPECT_TRUE(program.Running());
}

}  // namespace
}  // namespace zelto::test
