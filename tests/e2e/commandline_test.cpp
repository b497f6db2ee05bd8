// The built program's command line, run as a process without any display,
// on a prepared data file and at a fixed time.
#include <gtest/gtest.h>

#include <QProcess>
#include <algorithm>
#include <filesystem>

#include "support/core/fakes.h"

namespace zelto::test {
namespace {

namespace fs = std::filesystem;

// At 2024-03-05 10:30: task 5 was ticked and fell due at 09:00, so the
// start-up refresh unticks it and finds its previous occurrence; the
// others stay as the file has them. Task 9's text is Windows-1252.
const std::string kContent =
    Record(12, "Pay rent", "2024-03-01-10\t2024-03-01-09\tMore than 1 year", "-1,0,0,0,0", 9) +
    Record(3, "Water the plants", "1899-12-30-00\t2024-03-04-18\t2099-03-07-18", "0,0,1,1,2024",
           18) +
    Record(5, "Feed the cat", "2024-03-04-20\t2024-03-04-09\t2024-03-05-09", "-1,0,1,1,2024", 9) +
    Record(7, "Backup", "2024-03-05-08\t2024-03-05-08\t2024-03-05-20", "-1,0,1,1,2024", 20) +
    Record(9, "Caf\xe9 order", "1899-12-30-00\t2024-03-05-07\t2024-03-06-07", "0,0,1,1,2024", 7) +
    "*** end\r\n";

struct Outcome {
  int exitCode;
  std::string out;
  std::string err;
};

class CommandLine : public testing::Test {
 protected:
  void SetUp() override {
    fs::copy_file(ZELTO_EXECUTABLE, folder_ / "zelto-todo");
    WriteFileBytes(folder_ / "content.txt", kContent);
  }

  Outcome Start(const QStringList& args) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
    env.insert("ZELTO_FIXED_NOW", "2024-03-05 10:30");
    process.setProcessEnvironment(env);
    process.setWorkingDirectory("/");
    process.start(QString::fromStdString((folder_ / "zelto-todo").string()), args);
    EXPECT_TRUE(process.waitForFinished(20000));
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput().toStdString(),
            process.readAllStandardError().toStdString()};
  }

  // Nothing but the data file and the executable, the data file unchanged.
  void ExpectFolderUntouched() {
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_.path()), {}), 2);
    EXPECT_EQ(ReadFileBytes(folder_ / "content.txt"), kContent);
  }

  TempFolder folder_;
};

TEST_F(CommandLine, PrintsWhatEachViewShowsAfterTheStartUpRefresh) {
  const std::string todo =
      "3\t2024-03-04 18:00\tWater the plants\n"
      "5\t2024-03-05 09:00\tFeed the cat\n"
      "9\t2024-03-05 07:00\tCaf\xe9 order\n";
  const struct {
    QStringList args;
    std::string out;
  } cases[] = {
      {{"--list"}, todo},
      {{"--list=todo"}, todo},
      {{"--list=done"},
       "7\t2024-03-05 20:00\tBackup\n"
       "12\tMore than 1 year\tPay rent\n"},
      {{"--count"}, "3\n"},
      {{"--version"}, "Zelto Todo List 2.3\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.join(' ').toStdString());
    const Outcome run = Start(c.args);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, "");
  }
  ExpectFolderUntouched();
}

std::string WithoutStamps(std::string ics) {
  for (auto at = ics.find("DTSTAMP:"); at != std::string::npos; at = ics.find("DTSTAMP:", at))
    ics.erase(at, ics.find("\r\n", at) + 2 - at);
  return ics;
}

TEST_F(CommandLine, ExportsTheCalendarToStandardOutputOrAFile) {
  const Outcome toStdout = Start({"--export-ics", "-"});
  EXPECT_EQ(toStdout.exitCode, 0);
  EXPECT_TRUE(toStdout.out.starts_with("BEGIN:VCALENDAR\r\n"));
  EXPECT_TRUE(toStdout.out.ends_with("END:VCALENDAR\r\n"));
  EXPECT_NE(toStdout.out.find("UID:task-5@zelto-todo\r\nDTSTAMP:"), std::string::npos);
  EXPECT_NE(toStdout.out.find("SUMMARY:Caf\xc3\xa9 order\r\n"), std::string::npos);
  ExpectFolderUntouched();

  TempFolder elsewhere;
  const Outcome toFile =
      Start({"--export-ics=" + QString::fromStdString((elsewhere / "tasks.ics").string())});
  EXPECT_EQ(toFile.exitCode, 0);
  EXPECT_EQ(toFile.out, "");
  // The two runs may fall in different seconds: the stamps say when each ran.
  EXPECT_EQ(WithoutStamps(ReadFileBytes(elsewhere / "tasks.ics")), WithoutStamps(toStdout.out));
}

// Output far larger than the program's buffer comes out whole, the same
// as the file export writes, and a write that fails is an exit code of 2.
TEST_F(CommandLine, PrintsLongOutputWholeAndSaysWhenItCouldNotBeWritten) {
  std::string many;
  for (int id = 1; id <= 300; ++id)
    many += Record(id, "Water plant number " + std::to_string(id),
                   "1899-12-30-00\t2024-03-04-18\t2099-03-07-18", "0,0,1,1,2024", id % 24);
  WriteFileBytes(folder_ / "content.txt", many + "*** end\r\n");
  const Outcome toStdout = Start({"--export-ics=-"});
  TempFolder elsewhere;
  EXPECT_EQ(Start({"--export-ics=" + QString::fromStdString((elsewhere / "tasks.ics").string())})
                .exitCode,
            0);
  EXPECT_EQ(toStdout.exitCode, 0);
  EXPECT_GT(toStdout.out.size(), 40000u);
  EXPECT_EQ(WithoutStamps(toStdout.out), WithoutStamps(ReadFileBytes(elsewhere / "tasks.ics")));

  for (const char* command : {"--list", "--count", "--export-ics=-", "--version"}) {
    QProcess process;
    process.setStandardOutputFile("/dev/full");
    process.start(QString::fromStdString((folder_ / "zelto-todo").string()), {command});
    ASSERT_TRUE(process.waitForFinished(20000)) << command;
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << command;
    EXPECT_EQ(process.exitCode(), 2) << command;
  }
}

TEST_F(CommandLine, RefusesBadOptionsWithOneLineAndExitCode2) {
  const QStringList cases[] = {
      {"--bogus"},           {"--list=all"}, {"--export-ics"},     {"--export-ics="},
      {"--list", "--count"}, {"list"},       {"--count", "extra"},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(args.join(' ').toStdString());
    const Outcome run = Start(args);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(run.err.starts_with("zelto-todo: ")) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  }
  ExpectFolderUntouched();
}

TEST_F(CommandLine, AnUnreadableDataFileIsExitCode2) {
  fs::remove(folder_ / "content.txt");
  fs::create_directory(folder_ / "content.txt");
  for (const char* command : {"--list", "--count", "--export-ics=-"}) {
    const Outcome run = Start({command});
    EXPECT_EQ(run.exitCode, 2) << command;
    EXPECT_EQ(run.out, "") << command;
    EXPECT_EQ(run.err, "zelto-todo: cannot read " + (folder_ / "content.txt").string() + "\n");
  }
  fs::remove(folder_ / "content.txt");
  EXPECT_EQ(Start({"--count"}).exitCode, 2);
}

}  // namespace
}  // namespace zelto::test
