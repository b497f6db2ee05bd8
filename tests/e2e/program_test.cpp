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

namespace zelto {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::WriteFileBytes;
using test::XDisplay;

const QString kWindowTitle = QStringLiteral("Zelto Todo List v2.3");

std::string Mask(int selected) {  // -1: all
  std::string line;
  for (int i = 0; i < 31; ++i) {
    if (i) line += ",";
    line += (selected < 0 || i == selected) ? "1" : "0";
  }
  return line + "\r\n";
}

// Two tasks that the start-up refresh leaves as they are: nothing is due.
std::string PreparedContent() {
  return "*****\r\n 3 \r\nWater the plants\r\n"
         "1899-12-30-00\t2024-03-04-18\t2099-03-07-18\r\n0,3,1,3,2024\r\n" +
         Mask(18) + Mask(-1) + Mask(-1) + Mask(-1) +
         "*****\r\n 12 \r\nPay rent\r\n"
         "2024-03-01-10\t2024-03-01-09\tMore than 1 year\r\n-1,0,0,0,0\r\n" +
         Mask(9) + Mask(-1) + Mask(0) + Mask(-1) + "*** end\r\n";
}

const std::string kPreparedPosition =
    "150\t90\t6000\t7995\t0\r\n700\t3000.5\t2100\r\n1\t1\t2\t0\r\n";

class Program {
 public:
  // `answers` for the message boxes (see ZELTO_AUTO_ANSWER); a null string
  // leaves them to be answered on screen.
  explicit Program(const fs::path& folder, const QString& answers = QStringLiteral("")) {
    const fs::path executable = folder / "zelto-todo";
    if (!fs::exists(executable)) fs::copy_file(ZELTO_EXECUTABLE, executable);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", XDisplay::Name());
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("ZELTO_STARTUP_MARK", "1");
    if (answers.isNull())
      env.remove("ZELTO_AUTO_ANSWER");
    else
      env.insert("ZELTO_AUTO_ANSWER", answers);
    env.remove("SESSION_MANAGER");
    process_.setProcessEnvironment(env);
    process_.setProgram(QString::fromStdString(executable.string()));
    process_.setWorkingDirectory("/");
    process_.start();
  }
  ~Program() {
    if (process_.state() != QProcess::NotRunning) {
      process_.kill();
      process_.waitForFinished(5000);
    }
  }

  pid_t Pid() const { return static_cast<pid_t>(process_.processId()); }

  // Waits until stderr holds `text` or the process ends.
  bool WaitFor(const QString& text, int ms = 20000) {
    QElapsedTimer timer;
    timer.start();
    while (!Stderr().contains(text)) {
      if (process_.state() == QProcess::NotRunning || timer.elapsed() > ms) return false;
      process_.waitForReadyRead(50);
    }
    return true;
  }
  bool WaitShown() { return WaitFor("zelto-shown"); }
  int CountOf(const QString& text) { return Stderr().count(text); }

  // The close button of the window frame.
  bool RequestClose() { return XDisplay::RequestClose(Pid(), kWindowTitle) > 0; }
  void Signal(int number) { ::kill(Pid(), number); }

  bool WaitExit(int ms = 20000) {
    return process_.state() == QProcess::NotRunning || process_.waitForFinished(ms);
  }
  bool Running() { return process_.state() != QProcess::NotRunning; }
  int ExitCode() const { return process_.exitCode(); }
  QProcess::ExitStatus ExitStatus() const { return process_.exitStatus(); }

  QString Stderr() {
    stderr_ += QString::fromUtf8(process_.readAllStandardError());
    return stderr_;
  }

 private:
  QProcess process_;
  QString stderr_;
};

class EndToEnd : public testing::Test {
 protected:
  void SetUp() override {
    if (XDisplay::Name().isEmpty()) GTEST_SKIP() << "no Xvfb to show the window on";
  }
  test::TempFolder folder_;
  fs::path File(const char* name) const { return folder_ / name; }
};

TEST_F(EndToEnd, CloseRequestSavesBothFiles) {
  WriteFileBytes(File("content.txt"), PreparedContent());
  WriteFileBytes(File("position.txt"), kPreparedPosition);
  Program program(folder_.path());
  ASSERT_TRUE(program.WaitShown()) << program.Stderr().toStdString();
  ASSERT_TRUE(program.RequestClose());
  ASSERT_TRUE(program.WaitExit());
  EXPECT_EQ(program.ExitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program.ExitCode(), 0);
  EXPECT_EQ(program.CountOf("zelto-message"), 0) << program.Stderr().toStdString();

  EXPECT_EQ(ReadFileBytes(File("content.txt")), PreparedContent());
  EXPECT_EQ(ReadFileBytes(File("content.tmp")), PreparedContent());
  // The window opens where it was, at its size (whole pixels at 15 twips
  // each); the columns and the sort settings come back as they were.
  EXPECT_EQ(ReadFileBytes(File("position.txt")), kPreparedPosition);
}

TEST_F(EndToEnd, SecondInstanceShowsItsMessageAndTouchesNothing) {
  WriteFileBytes(File("content.txt"), PreparedContent());
  WriteFileBytes(File("position.txt"), kPreparedPosition);
  const auto contentTime = fs::last_write_time(File("content.txt"));
  const auto positionTime = fs::last_write_time(File("position.txt"));

  Program first(folder_.path());
  ASSERT_TRUE(first.WaitShown()) << first.Stderr().toStdString();
  {
    Program second(folder_.path(), "ok");
    ASSERT_TRUE(second.WaitExit());
    EXPECT_TRUE(second.Stderr().contains("zelto-message\tZelto Todo List\tAlready running....\tok"))
        << second.Stderr().toStdString();
    EXPECT_FALSE(second.Stderr().contains("zelto-shown"));
    EXPECT_EQ(second.CountOf("zelto-message"), 1);
  }
  EXPECT_EQ(fs::last_write_time(File("content.txt")), contentTime);
  EXPECT_EQ(fs::last_write_time(File("position.txt")), positionTime);
  EXPECT_EQ(ReadFileBytes(File("position.txt")), kPreparedPosition);
  EXPECT_FALSE(fs::exists(File("content.tmp")));
  EXPECT_TRUE(first.Running());
}

TEST_F(EndToEnd, KilledInstanceDoesNotBlockTheNextStart) {
  WriteFileBytes(File("content.txt"), PreparedContent());
  {
    Program crashed(folder_.path());
    ASSERT_TRUE(crashed.WaitShown()) << crashed.Stderr().toStdString();
    crashed.Signal(SIGKILL);
    ASSERT_TRUE(crashed.WaitExit());
  }
  EXPECT_FALSE(fs::exists(File("content.tmp"))) << "a killed process saves nothing";

  Program next(folder_.path());
  ASSERT_TRUE(next.WaitShown()) << next.Stderr().toStdString();
  EXPECT_EQ(next.CountOf("zelto-message"), 0) << next.Stderr().toStdString();
  ASSERT_TRUE(next.RequestClose());
  ASSERT_TRUE(next.WaitExit());
  EXPECT_EQ(ReadFileBytes(File("content.txt")), PreparedContent());
}

TEST_F(EndToEnd, NoLockPossibleStillRuns) {
  WriteFileBytes(File("content.txt"), PreparedContent());
  fs::create_directory(File("instance.lock"));  // in the way of the lock file
  Program program(folder_.path());
  ASSERT_TRUE(program.WaitShown()) << program.Stderr().toStdString();
  EXPECT_EQ(program.CountOf("Already running"), 0);
  ASSERT_TRUE(program.RequestClose());
  ASSERT_TRUE(program.WaitExit());
  EXPECT_EQ(ReadFileBytes(File("content.tmp")), PreparedContent());
}

TEST_F(EndToEnd, TerminationSignalsSave) {
  for (int number : {SIGTERM, SIGHUP, SIGINT}) {
    SCOPED_TRACE(number);
    fs::remove(File("position.txt"));
    fs::remove(File("content.tmp"));
    WriteFileBytes(File("content.txt"), PreparedContent());
    Program program(folder_.path());
    ASSERT_TRUE(program.WaitShown()) << program.Stderr().toStdString();
    program.Signal(number);
    ASSERT_TRUE(program.WaitExit());
    EXPECT_EQ(program.ExitStatus(), QProcess::NormalExit);
    EXPECT_EQ(ReadFileBytes(File("content.tmp")), PreparedContent());
    EXPECT_EQ(ReadFileBytes(File("content.txt")), PreparedContent());
    // Without a position file the columns keep their start-up widths.
    const std::string position = ReadFileBytes(File("position.txt"));
    EXPECT_NE(position.find("\r\n650\t3100\t2000\r\n\t\t\t\r\n"), std::string::npos) << position;
  }
}

TEST_F(EndToEnd, WithoutContentTheCloseAsksAndCancelKeepsTheWindow) {
  Program program(folder_.path(), "cancel,yes");
  ASSERT_TRUE(program.WaitShown()) << program.Stderr().toStdString();
  const QString question =
      "zelto-message\tZelto Todo List save data\tThere was an error opening the data file... Do "
      "you really want to save this data?\t";

  ASSERT_TRUE(program.RequestClose());
  ASSERT_TRUE(program.WaitFor(question + "cancel"));
  QThread::msleep(300);
  EXPECT_TRUE(program.Running()) << "Cancel keeps the window open";
  EXPECT_TRUE(XDisplay::HasWindow(program.Pid(), kWindowTitle));
  EXPECT_FALSE(fs::exists(File("content.txt")));
  EXPECT_FALSE(fs::exists(File("position.txt")));

  ASSERT_TRUE(program.RequestClose());
  ASSERT_TRUE(program.WaitExit());
  EXPECT_EQ(program.CountOf(question), 2);
  EXPECT_EQ(ReadFileBytes(File("content.txt")), "*** end\r\n");
}

TEST_F(EndToEnd, NoClosesWithoutSaving) {
  Program program(folder_.path(), "no");
  ASSERT_TRUE(program.WaitShown()) << program.Stderr().toStdString();
  ASSERT_TRUE(program.RequestClose());
  ASSERT_TRUE(program.WaitExit());
  EXPECT_TRUE(program.Stderr().contains("save data\tThere was an error"));
  EXPECT_FALSE(fs::exists(File("content.txt")));
  EXPECT_FALSE(fs::exists(File("position.txt")));
}

TEST_F(EndToEnd, FailedSaveKeepsTheWindowUntilTheCauseIsGone) {
  WriteFileBytes(File("content.txt"), PreparedContent());
  // A folder where the temporary file belongs: the save cannot write it.
  fs::create_directory(File("content.tmp"));
  Program program(folder_.path());
  ASSERT_TRUE(program.WaitShown()) << program.Stderr().toStdString();
  ASSERT_TRUE(program.RequestClose());
  ASSERT_TRUE(program.WaitFor("zelto-message\tZelto Todo List\tError saving file!\tok"));
  QThread::msleep(300);
  EXPECT_TRUE(program.Running()) << "nothing may be lost: the window stays";

  fs::remove(File("content.tmp"));
  ASSERT_TRUE(program.RequestClose());
  ASSERT_TRUE(program.WaitExit());
  EXPECT_EQ(program.CountOf("Error saving file!"), 1);
  EXPECT_EQ(ReadFileBytes(File("content.tmp")), PreparedContent());
}

TEST_F(EndToEnd, SignalEndsEvenWhenTheSaveFails) {
  WriteFileBytes(File("content.txt"), PreparedContent());
  fs::create_directory(File("content.tmp"));
  Program program(folder_.path());
  ASSERT_TRUE(program.WaitShown()) << program.Stderr().toStdString();
  program.Signal(SIGTERM);
  ASSERT_TRUE(program.WaitExit());
  EXPECT_TRUE(program.Stderr().contains("Error saving file!"));
  EXPECT_EQ(ReadFileBytes(File("content.txt")), PreparedContent());
}

// The save's question is on screen when the signal comes: it waits for an
// answer, and a second signal ends the program without saving.
TEST_F(EndToEnd, SecondSignalEndsWhileTheQuestionWaits) {
  Program program(folder_.path(), QString());
  ASSERT_TRUE(program.WaitShown()) << program.Stderr().toStdString();
  program.Signal(SIGTERM);
  QElapsedTimer timer;
  timer.start();
  while (!XDisplay::HasWindow(program.Pid(), "Zelto Todo List save data") &&
         timer.elapsed() < 10000)
    QThread::msleep(50);
  ASSERT_TRUE(XDisplay::HasWindow(program.Pid(), "Zelto Todo List save data"));
  EXPECT_TRUE(program.Running());

  program.Signal(SIGTERM);
  ASSERT_TRUE(program.WaitExit());
  EXPECT_EQ(program.ExitStatus(), QProcess::NormalExit);
  EXPECT_FALSE(fs::exists(File("content.txt")));
  EXPECT_FALSE(fs::exists(File("position.txt")));
}

}  // namespace
}  // namespace zelto
