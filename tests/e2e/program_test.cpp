// The real program as a process: copied into a fresh folder (a separate
// installation), shown on a private X server, closed by the window system's
// close request or ended by a signal, with its message boxes answered from
// ZELTO_AUTO_ANSWER.
#include <gtest/gtest.h>
#include <signal.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <filesystem>

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

class Program {
 public:
  // `answers` for the message boxes; a null string leaves them on screen.
  explicit Program(const fs::path& folder, const QString& answers = "") {
    const fs::path executable = folder / "zelto-todo";
    if (!fs::exists(executable)) fs::copy_file(ZELTO_EXECUTABLE, executable);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", x::Name());
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("ZELTO_STARTUP_MARK", "1");
    env.remove("ZELTO_AUTO_ANSWER");
    if (!answers.isNull()) env.insert("ZELTO_AUTO_ANSWER", answers);
    env.remove("SESSION_MANAGER");
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
  bool RequestClose() { return x::RequestClose(kWindowTitle) > 0; }
  void Signal(int number) { ::kill(static_cast<pid_t>(process_.processId()), number); }
  bool WaitExit() { return !Running() || process_.waitForFinished(20000); }
  bool Running() const { return process_.state() != QProcess::NotRunning; }
  bool ExitedNormally() const {
    return process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == 0;
  }
  QString Stderr() { return stderr_ += QString::fromUtf8(process_.readAllStandardError()); }

 private:
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

TEST_F(EndToEnd, SecondInstanceShowsItsMessageAndTouchesNothing) {
  WriteFileBytes(File("position.txt"), kPosition);
  const auto contentTime = fs::last_write_time(File("content.txt"));
  const auto positionTime = fs::last_write_time(File("position.txt"));
  Program first(folder_.path());
  ASSERT_TRUE(first.WaitShown());
  Program second(folder_.path(), "ok");
  ASSERT_TRUE(second.WaitExit());
  EXPECT_EQ(second.Stderr().count("zelto-message\tZelto Todo List\tAlready running....\tok"), 1);
  EXPECT_EQ(second.Stderr().count("zelto-message"), 1);
  EXPECT_EQ(fs::last_write_time(File("content.txt")), contentTime);
  EXPECT_EQ(fs::last_write_time(File("position.txt")), positionTime);
  EXPECT_FALSE(fs::exists(File("content.tmp")));
  EXPECT_TRUE(first.Running());
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

TEST_F(EndToEnd, FailedSaveKeepsTheWindowUntilTheCauseIsGone) {
  fs::create_directory(File("content.tmp"));  // where the save must write
  Program program(folder_.path());
  ASSERT_TRUE(program.WaitShown());
  ASSERT_TRUE(program.RequestClose());
  ASSERT_TRUE(program.WaitFor("zelto-message\tZelto Todo List\tError saving file!\tok"));
  QThread::msleep(300);
  EXPECT_TRUE(program.Running()) << "nothing may be lost: the window stays";
  fs::remove(File("content.tmp"));
  ASSERT_TRUE(program.RequestClose());
  ASSERT_TRUE(program.WaitExit());
  EXPECT_EQ(ReadFileBytes(File("content.tmp")), kContent);
}

// No lock can be made, and the save fails: the program runs all the same,
// and a signal ends it whatever the save did.
TEST_F(EndToEnd, NoLockPossibleRunsAndASignalEndsItThoughTheSaveFails) {
  fs::create_directory(File("instance.lock"));
  fs::create_directory(File("content.tmp"));
  Program program(folder_.path());
  ASSERT_TRUE(program.WaitShown());
  program.Signal(SIGTERM);
  ASSERT_TRUE(program.WaitExit());
  EXPECT_TRUE(program.Stderr().contains("Error saving file!"));
  EXPECT_EQ(ReadFileBytes(File("content.txt")), kContent);
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

}  // namespace
}  // namespace zelto::test
