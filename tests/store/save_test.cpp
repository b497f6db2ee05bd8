#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <random>
#include <tuple>

#include "store_test_util.h"

namespace zelto {
namespace {

namespace fs = std::filesystem;
using test::At;

void Set(TaskTable& t, int id, std::string text, DateTime checked, Occurrence previous,
         Occurrence next, std::array<int16_t, 5> numbers) {
  t.TaskText.Set(id, text);
  t.CheckedDate[id] = checked;
  t.PreviousOccurrence[id] = std::move(previous);
  t.NextOccurrence[id] = std::move(next);
  t.TaskChecked[id] = numbers[0];
  t.EveryNDays[id] = numbers[1];
  t.StartDay[id] = numbers[2];
  t.StartMonth[id] = numbers[3];
  t.StartYear[id] = numbers[4];
}

void Select(MaskColumn::Ref mask, int from, int to) {
  for (int k = from; k <= to; ++k) mask[k] = 1;
}

// The table whose save is tests/data/store/golden_save.txt.
std::unique_ptr<TaskTable> GoldenTable() {
  auto t = MakeTaskTable();
  Set(*t, 0, "Water the plants", {}, At(2024, 3, 4, 18), At(2024, 3, 7, 18), {0, 3, 1, 3, 2024});
  Select(t->HourMask[0], 18, 18);
  Select(t->WeekdayMask[0], 0, 6);
  Select(t->DayOfMonthMask[0], 0, 30);
  Select(t->MonthMask[0], 0, 11);
  // A free slot is not written, whatever its other fields hold.
  t->EveryNDays[5] = 9;
  t->PreviousOccurrence[5] = At(2024, 1, 1);
  // Latin-1, UTF-8 and a stray byte; a date text kept from the oldest format.
  Set(*t, 12, "Caf\xe9 \xc3\xa9t\xe9 \xff", At(2024, 5, 6, 14, 59, 59), {},
      std::string("3/5/2024 6:00:00 PM"), {-1, -5, 31, 12, -32768});
  const int16_t hours[] = {2, -3, 32767, -32768, 1};
  for (int k = 0; k < 5; ++k) t->HourMask[12][k] = hours[k];
  Select(t->DayOfMonthMask[12], 30, 30);
  Select(t->MonthMask[12], 0, 11);
  const std::string error(kErrorMarker), year(kMoreThanOneYear);
  Set(*t, 9999, "*****", At(2024, 1, 1), error, error, {});
  Set(*t, 10000, "*** end", At(2100, 2, 28, 23), year, year, {0, 1, 29, 2, 2024});
  Select(t->HourMask[10000], 0, 23);
  t->WeekdayMask[10000][0] = t->WeekdayMask[10000][6] = 1;
  Select(t->DayOfMonthMask[10000], 28, 28);
  Select(t->MonthMask[10000], 1, 1);
  return t;
}

// 300 tasks with values on either side of the shortcuts for single digits.
std::unique_ptr<TaskTable> RandomTable() {
  std::mt19937 random(11);
  const int16_t values[] = {-32768, -10, -1, 0, 1, 2, 8, 9, 10, 11, 99, 100, 32767};
  auto value = [&] { return values[random() % std::size(values)]; };
  auto table = MakeTaskTable();
  for (int n = 0; n < 300; ++n) {
    const int id = static_cast<int>(random() % kSlotCount);
    Set(*table, id, "task " + std::to_string(n),
        At(2024, 1, 1).AddHours(static_cast<int>(random() % 100000) - 50000), {}, {},
        {value(), value(), value(), value(), value()});
    for (MaskColumn::Ref mask : {table->HourMask[id], table->WeekdayMask[id],
                                 table->DayOfMonthMask[id], table->MonthMask[id]}) {
      const bool small = random() % 2;  // only values 0..10: one digit but for the tens
      for (int k = 0; k < kMaskSize; ++k)
        mask[k] = small ? static_cast<int16_t>(random() % 11) : value();
    }
  }
  return table;
}

const std::string kPosition = "0\t0\t5895\t7620\t0\r\n650\t3100\t2000\r\n\t\t\t\r\n";

SaveWriteResult Write(const TaskTable& table, const fs::path& folder) {
  return WriteSaveFiles(MakeSaveBytes(table, kPosition), folder);
}

// The names in a folder, sorted.
std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::ranges::sort(names);
  return names;
}

// A null device of the test's own: a save that wrongly replaced it would
// harm nothing outside the test's folder. False where the system does not
// let the test make one.
bool MakeDevice(const fs::path& path) {
  return mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
}

TEST(Save, GoldenFileAndRoundTrips) {
  test::TempFolder folder;
  test::WriteFileBytes(folder / kContentFile, "*** end\r\n");
  test::WriteFileBytes(folder / kContentTmpFile, std::string(5000, 'x'));  // rewritten in place
  ASSERT_TRUE(Write(*GoldenTable(), folder.path()).Saved());
  const std::string golden = test::ReadFileBytes(test::StoreData("golden_save.txt"));
  EXPECT_EQ(test::ReadFileBytes(folder / kContentFile), golden);
  EXPECT_EQ(test::ReadFileBytes(folder / kContentTmpFile), golden);
  EXPECT_EQ(test::ReadFileBytes(folder / kPositionFile), kPosition);

  auto reloaded = MakeTaskTable();
  ASSERT_TRUE(LoadDataFile(*reloaded, folder.path()).Read());
  auto expected = GoldenTable();
  expected->CheckedDate[12] = At(2024, 5, 6, 14);
  expected->NextOccurrence[12] = At(2024, 3, 5, 18);
  EXPECT_EQ(test::Dump(*reloaded), test::Dump(*expected));
  EXPECT_EQ(FormatDataFile(*MakeTaskTable()), "*** end\r\n");
  const auto random = RandomTable();
  reloaded = MakeTaskTable();
  EXPECT_TRUE(LoadDataBytes(*reloaded, FormatDataFile(*random)).cutShortTasks.empty());
  EXPECT_EQ(test::Dump(*reloaded), test::Dump(*random));
}

// A line break in a field would cut its record in two, and a TAB in an
// occurrence would shift the fields after it: each becomes a blank.
TEST(Save, LineBreaksAndOccurrenceTabsBecomeBlanks) {
  struct Case {
    std::string text, occurrence;
    std::string_view textLine, dateLine;
  };
  const Case cases[] = {
      {"plain", "More than 1 year", "plain", "1899-12-30-00\tMore than 1 year\t"},
      {"a\nb", "x\ny", "a b", "1899-12-30-00\tx y\t"},
      {"tab\tkept", "tab\there", "tab\tkept", "1899-12-30-00\ttab here\t"},
      {"\n\r\n", "\t\n", " \r ", "1899-12-30-00\t  \t"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    auto table = MakeTaskTable();
    table->TaskText.Set(1, c.text);
    table->PreviousOccurrence[1] = c.occurrence;
    const std::string bytes = FormatDataFile(*table);
    const std::string start =
        "*****\r\n 1 \r\n" + std::string(c.textLine) + "\r\n" + std::string(c.dateLine) + "\r\n";
    EXPECT_EQ(bytes.substr(0, start.size()), start);
  }
}

// Files of the user's own next to the data files, with the names a save
// might have picked for its temporary files, are left as they are, here
// and in the folder a linked content.txt or position.txt points into.
TEST(Save, TheUsersOwnFilesSurvive) {
  const std::vector<std::string> own = {"content.new", "position.new", ".content.txt.",
                                        "content.txt~", ".position.txt.tmp"};
  for (const bool linked : {false, true}) {
    SCOPED_TRACE(linked);
    test::TempFolder folder, elsewhere;
    const auto& dataFolder = linked ? elsewhere : folder;
    for (const auto& name : own) test::WriteFileBytes(dataFolder / name, "mine " + name);
    if (linked) {
      fs::create_symlink(elsewhere / "tasks.txt", folder / kContentFile);
      fs::create_symlink(elsewhere / "place.txt", folder / kPositionFile);
    }
    ASSERT_TRUE(Write(*GoldenTable(), folder.path()).Saved());
    for (const auto& name : own)
      EXPECT_EQ(test::ReadFileBytes(dataFolder / name), "mine " + name) << name;
    auto expected = own;
    for (const char* name : linked ? std::vector{"place.txt", "tasks.txt"}
                                   : std::vector{"content.tmp", "content.txt", "position.txt"})
      expected.push_back(name);
    std::ranges::sort(expected);
    EXPECT_EQ(Names(dataFolder.path()), expected);  // no temporary file left behind
  }
}

// content.tmp is a full copy of the data: it is never readable by more
// users than content.txt, whether it is new or an older file of its own.
TEST(Save, TheCopiesKeepTheDataFilesMode) {
  for (const auto& [contentMode, tmpMode, positionMode] :
       {std::tuple{0600, -1, 0640}, {0600, 0644, -1}, {0640, 0666, 0600}, {0664, 0600, 0644}}) {
    SCOPED_TRACE(testing::Message() << std::oct << contentMode << " " << tmpMode);
    test::TempFolder folder;
    for (const auto& [name, mode] : {std::pair{kContentFile, contentMode},
                                     {kContentTmpFile, tmpMode},
                                     {kPositionFile, positionMode}}) {
      if (mode < 0) continue;  // no such file yet
      test::WriteFileBytes(folder / name, "*** end\r\n");
      ASSERT_EQ(chmod((folder / name).c_str(), mode), 0);
    }
    ASSERT_TRUE(Write(*GoldenTable(), folder.path()).Saved());
    const auto mode = [&](std::string_view name) {
      struct stat info {};
      EXPECT_EQ(stat((folder / name).c_str(), &info), 0);
      return static_cast<int>(info.st_mode & 07777);
    };
    EXPECT_EQ(mode(kContentFile), contentMode);
    EXPECT_EQ(mode(kContentTmpFile), contentMode);
    if (positionMode >= 0) {
      EXPECT_EQ(mode(kPositionFile), positionMode);
    }
  }
}

// A content.txt that is a link keeps being one, and the file it names, new
// or not, gets the data; a link to a device or a pipe, or a ring of links,
// fails with the reason, and the node stays what it was.
TEST(Save, AContentTxtLinkToNoFileOrANode) {
  enum Kind { kFile, kDangling, kRelative, kNoFolder, kDevice, kPipe, kBarePipe, kRing };
  const std::pair<Kind, int> cases[] = {{kFile, 0},          {kDangling, 0},   {kRelative, 0},
                                        {kNoFolder, ENOENT}, {kDevice, ENXIO}, {kPipe, ENXIO},
                                        {kBarePipe, ENXIO},  {kRing, ELOOP}};
  for (const auto& [kind, error] : cases) {
    SCOPED_TRACE(kind);
    test::TempFolder folder, elsewhere;
    const auto link = folder / kContentFile;
    fs::path named = elsewhere / "tasks.txt";
    switch (kind) {
      case kFile:
        test::WriteFileBytes(named, "*** end\r\n");
        [[fallthrough]];
      case kDangling:
        fs::create_symlink(named, link);
        break;
      case kRelative:
        fs::create_directory(folder / "sub");
        fs::create_symlink("sub/../sub/tasks.txt", link);
        named = folder / "sub" / "tasks.txt";
        break;
      case kNoFolder:
        named = elsewhere / "gone" / "tasks.txt";
        fs::create_symlink(named, link);
        break;
      case kDevice:
        if (!MakeDevice(named)) continue;  // not allowed here: nothing to test
        fs::create_symlink(named, link);
        break;
      case kPipe:
        ASSERT_EQ(mkfifo(named.c_str(), 0666), 0);
        fs::create_symlink(named, link);
        break;
      case kBarePipe:
        named = link;
        ASSERT_EQ(mkfifo(named.c_str(), 0666), 0);
        break;
      case kRing:
        named = link;
        fs::create_symlink(folder / "other", link);
        fs::create_symlink(link, folder / "other");
        break;
    }
    const SaveWriteResult result = Write(*GoldenTable(), folder.path());
    EXPECT_EQ(result.error, error) << std::strerror(result.error);
    EXPECT_EQ(result.failedFile, error == 0 ? fs::path() : named);
    EXPECT_EQ(fs::is_symlink(link), kind != kBarePipe);
    EXPECT_EQ(test::ReadFileBytes(folder / kContentTmpFile), FormatDataFile(*GoldenTable()));
    if (error == 0) {
      EXPECT_EQ(test::ReadFileBytes(named), FormatDataFile(*GoldenTable()));
    } else if (kind == kPipe || kind == kBarePipe) {
      EXPECT_TRUE(fs::is_fifo(named));
    }
    if (kind == kDevice) {
      EXPECT_TRUE(fs::is_character_file(named));
    }
    // Nothing left behind but what the links need.
    EXPECT_EQ(Names(folder.path()).size(), kind == kRing || kind == kRelative ? 4u : 3u);
  }
}

// Runs `body` in a child process; the exit code, or 100 + the signal.
int InChild(const std::function<void()>& body) {
  const pid_t child = fork();
  if (child == 0) {
    body();
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

// What stands in the way is named with the error. position.txt's failure
// does not keep the data files from being written; the data files' own
// failures leave content.txt as it was.
TEST(SaveFailure, TheFailedFileIsNamedAndContentTxtKeptOrWritten) {
  const std::string oldBytes = "*****\r\n 1 \r\nold\r\n";
  const std::string newBytes = FormatDataFile(*GoldenTable());
  enum Kind { kFolder, kReadOnly, kDevice, kPipe };  // what stands in the way
  // The file in the way, the error the write reports for it, whether
  // content.tmp is complete and whether content.txt has the new data.
  for (const auto& [file, kind, error, tmpComplete, written] :
       {std::tuple{"content.tmp", kFolder, EISDIR, false, false},
        {"position.txt", kFolder, EISDIR, true, true},
        {"content.txt", kReadOnly, EACCES, true, false},
        {"content.tmp", kReadOnly, EACCES, false, false},
        {"position.txt", kReadOnly, EACCES, true, true},
        {"position.txt", kDevice, ENXIO, true, true},  // the node is not replaced
        {"position.txt", kPipe, ENXIO, true, true},
        {"content.tmp", kPipe, ENXIO, false, false}}) {
    SCOPED_TRACE(testing::Message() << file << " " << kind);
    test::TempFolder folder;
    test::WriteFileBytes(folder / kContentFile, oldBytes);
    if (kind == kFolder) {
      fs::create_directory(folder / file);
      test::WriteFileBytes(folder / file / "inside", "x");
    } else if (kind == kReadOnly) {
      if (!fs::exists(folder / file)) test::WriteFileBytes(folder / file, "previous");
      fs::permissions(folder / file, fs::perms::owner_read | fs::perms::group_read);
    } else if (kind == kDevice) {
      if (!MakeDevice(folder / file)) continue;  // not allowed here: nothing to test
    } else {
      ASSERT_EQ(mkfifo((folder / file).c_str(), 0666), 0);  // must fail, not wait for a reader
    }
    const SaveWriteResult result = Write(*GoldenTable(), folder.path());
    EXPECT_EQ(result.failedFile, folder / file);
    EXPECT_EQ(result.error, error) << std::strerror(result.error);
    EXPECT_EQ(test::ReadFileBytes(folder / kContentFile), written ? newBytes : oldBytes);
    if (tmpComplete) {
      EXPECT_EQ(test::ReadFileBytes(folder / kContentTmpFile), newBytes);
    }
    EXPECT_EQ(fs::is_directory(folder / file), kind == kFolder);
    EXPECT_EQ(fs::is_fifo(folder / file), kind == kPipe);
    EXPECT_EQ(fs::is_character_file(folder / file), kind == kDevice);
    EXPECT_EQ(Names(folder.path()).size(), 3u);  // no temporary file left behind
  }
}

// A save in a child process whose files may not grow beyond a limit, as on a
// full disk, fails as it must.
TEST(SaveFailure, AFullDiskIsReportedAndLeavesContentTxtAlone) {
  const std::string oldBytes = "*****\r\n 1 \r\nold\r\n";
  const std::string newBytes = FormatDataFile(*GoldenTable());
  const std::size_t size = newBytes.size();
  for (rlim_t limit :
       {rlim_t{0}, rlim_t{20}, rlim_t{512}, rlim_t{size / 2}, rlim_t{size - 1}, size}) {
    SCOPED_TRACE(limit);
    test::TempFolder folder;
    test::WriteFileBytes(folder / kContentFile, oldBytes);
    const int exitCode = InChild([&] {
      signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
      const rlimit cap{limit, limit};
      setrlimit(RLIMIT_FSIZE, &cap);
      const SaveWriteResult result = Write(*GoldenTable(), folder.path());
      // content.tmp grows past the limit, also when position.txt already did.
      const auto full = folder / kContentTmpFile;
      _exit(result.Saved() ? 2 : result.failedFile == full && result.error == EFBIG ? 0 : 1);
    });
    EXPECT_EQ(exitCode, limit < size ? 0 : 2);
    EXPECT_EQ(test::ReadFileBytes(folder / kContentFile), limit < size ? oldBytes : newBytes);
    EXPECT_EQ(test::ReadFileBytes(folder / kPositionFile),
              limit < kPosition.size() ? "" : kPosition);
    auto names = Names(folder.path());
    std::erase(names, "position.txt");
    EXPECT_EQ(names, (std::vector<std::string>{"content.tmp", "content.txt"}));
  }
}

SaveStep gStopAt;

// The process dies at each step of a save, also when content.tmp is a hard
// or symbolic link to content.txt: content.txt and position.txt then hold
// exactly the old or exactly the new file, and the next save goes through.
TEST(SaveCrash, ContentTxtIsTheOldOrTheNewFileAtEveryStep) {
  const std::string oldBytes = FormatDataFile(*GoldenTable());
  const auto newTable = RandomTable();
  const std::string newBytes = FormatDataFile(*newTable);
  for (const char* link : {"none", "hard", "symbolic"}) {
    for (SaveStep step :
         {SaveStep::PositionSiblingWritten, SaveStep::PositionWritten, SaveStep::TmpPartlyWritten,
          SaveStep::NewPartlyWritten, SaveStep::TmpWritten, SaveStep::NewWritten,
          SaveStep::Replaced, SaveStep::FolderSynced}) {
      SCOPED_TRACE(testing::Message() << "step " << static_cast<int>(step) << ", link " << link);
      test::TempFolder folder;
      test::WriteFileBytes(folder / kContentFile, oldBytes);
      test::WriteFileBytes(folder / kPositionFile, "old position\r\n");
      if (link[0] == 'h') fs::create_hard_link(folder / kContentFile, folder / kContentTmpFile);
      if (link[0] == 's') fs::create_symlink(folder / kContentFile, folder / kContentTmpFile);
      gStopAt = step;
      const int died = InChild([&] {
        SetSaveStepHookForTesting([](SaveStep at) {
          if (at == gStopAt) raise(SIGKILL);
        });
        Write(*newTable, folder.path());
      });
      ASSERT_EQ(died, 100 + SIGKILL);
      EXPECT_EQ(test::ReadFileBytes(folder / kContentFile),
                step >= SaveStep::Replaced ? newBytes : oldBytes);
      EXPECT_EQ(test::ReadFileBytes(folder / kPositionFile),
                step >= SaveStep::PositionWritten ? kPosition : "old position\r\n");
      ASSERT_TRUE(Write(*newTable, folder.path()).Saved());
      EXPECT_EQ(test::ReadFileBytes(folder / kContentFile), newBytes);
      EXPECT_EQ(test::ReadFileBytes(folder / kPositionFile), kPosition);
      EXPECT_FALSE(fs::is_symlink(folder / kContentTmpFile));
      // A sibling cut short by the crash may stay behind, never more.
      const auto names = Names(folder.path());
      const std::vector<std::string> saved = {"content.tmp", "content.txt", "position.txt"};
      EXPECT_LE(names.size(), saved.size() + 1);
      EXPECT_TRUE(std::ranges::includes(names, saved));
    }
  }
}

}  // namespace
}  // namespace zelto
