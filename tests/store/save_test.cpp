#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <random>

#include "store/datafile.h"
#include "store_test_util.h"
#include "support/core/fakes.h"

namespace zelto {
namespace {

using test::At;

void Select(Mask& mask, std::initializer_list<int> entries) {
  for (int k : entries) mask[k] = 1;
}

// The table whose save is tests/data/store/golden_save.txt.
std::unique_ptr<TaskTable> GoldenTable() {
  auto t = MakeTaskTable();
  t->TaskText[0] = "Water the plants";
  t->PreviousOccurrence[0] = At(2024, 3, 4, 18);
  t->NextOccurrence[0] = At(2024, 3, 7, 18);
  t->EveryNDays[0] = 3;
  t->StartDay[0] = 1;
  t->StartMonth[0] = 3;
  t->StartYear[0] = 2024;
  Select(t->HourMask[0], {18});
  Select(t->WeekdayMask[0], {0, 1, 2, 3, 4, 5, 6});
  t->DayOfMonthMask[0].Fill(1);
  Select(t->MonthMask[0], {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});

  // A free slot is not written, whatever its other fields hold.
  t->EveryNDays[5] = 9;
  t->PreviousOccurrence[5] = At(2024, 1, 1);

  t->TaskText[12] = "Caf\xe9 \xc3\xa9t\xe9 \xff";  // Latin-1, UTF-8 and a stray byte
  t->CheckedDate[12] = At(2024, 5, 6, 14, 59, 59);
  t->NextOccurrence[12] = std::string("3/5/2024 6:00:00 PM");  // kept from the oldest format
  t->TaskChecked[12] = -1;
  t->EveryNDays[12] = -5;
  t->StartDay[12] = 31;
  t->StartMonth[12] = 12;
  t->StartYear[12] = -32768;
  t->HourMask[12][0] = 2;
  t->HourMask[12][1] = -3;
  t->HourMask[12][2] = 32767;
  t->HourMask[12][3] = -32768;
  t->HourMask[12][4] = 1;
  Select(t->DayOfMonthMask[12], {30});
  Select(t->MonthMask[12], {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});

  t->TaskText[9999] = "*****";
  t->CheckedDate[9999] = At(2024, 1, 1);
  t->PreviousOccurrence[9999] = std::string(kErrorMarker);
  t->NextOccurrence[9999] = std::string(kErrorMarker);

  t->TaskText[10000] = "*** end";
  t->CheckedDate[10000] = At(2100, 2, 28, 23);
  t->PreviousOccurrence[10000] = std::string(kMoreThanOneYear);
  t->NextOccurrence[10000] = std::string(kMoreThanOneYear);
  t->EveryNDays[10000] = 1;
  t->StartDay[10000] = 29;
  t->StartMonth[10000] = 2;
  t->StartYear[10000] = 2024;
  Select(t->HourMask[10000],
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23});
  Select(t->WeekdayMask[10000], {0, 6});
  Select(t->DayOfMonthMask[10000], {28});
  Select(t->MonthMask[10000], {1});
  return t;
}

TEST(Save, WritesTheGoldenFileThroughContentTmp) {
  test::TempFolder folder;
  test::WriteFileBytes(folder / kContentFile, "*** end\r\n");
  test::ScriptedPrompter prompter;
  test::RecordingHooks hooks;
  auto table = GoldenTable();
  ASSERT_EQ(SaveDataFile(*table, folder.path(), false, prompter, hooks), SaveResult::Saved);
  const std::string golden = test::ReadFileBytes(test::StoreData("golden_save.txt"));
  EXPECT_EQ(test::ReadFileBytes(folder / kContentFile), golden);
  EXPECT_EQ(test::ReadFileBytes(folder / kContentTmpFile), golden);
  EXPECT_EQ(test::ReadFileBytes(folder / kPositionFile), hooks.positionText);
  EXPECT_FALSE(std::filesystem::exists(folder / kContentNewFile));
  EXPECT_EQ(hooks.buttonCalls, (std::vector<bool>{false, true}));
  EXPECT_TRUE(prompter.asked.empty());
}

TEST(Save, ReloadGivesTheSameTableToTheHour) {
  test::TempFolder folder;
  test::ScriptedPrompter prompter;
  test::RecordingHooks hooks;
  auto table = GoldenTable();
  ASSERT_EQ(SaveDataFile(*table, folder.path(), false, prompter, hooks), SaveResult::Saved);
  auto reloaded = MakeTaskTable();
  ASSERT_TRUE(LoadDataFile(*reloaded, folder.path(), prompter));
  EXPECT_TRUE(prompter.asked.empty());

  auto expected = GoldenTable();
  expected->CheckedDate[12] = At(2024, 5, 6, 14);
  expected->NextOccurrence[12] = At(2024, 3, 5, 18);
  EXPECT_TRUE(test::SameTasks(*reloaded, *expected));
  EXPECT_FALSE(reloaded->InUse(5));
  EXPECT_TRUE(std::holds_alternative<std::monostate>(reloaded->PreviousOccurrence[12]));
}

// Values on either side of the shortcuts for single digits, in every field.
TEST(Save, RandomTablesSurviveSaveAndReload) {
  std::mt19937 random(11);
  const int16_t values[] = {-32768, -10, -1, 0, 1, 2, 8, 9, 10, 11, 99, 100, 32767};
  auto value = [&] { return values[random() % std::size(values)]; };
  auto table = MakeTaskTable();
  for (int n = 0; n < 300; ++n) {
    const int id = static_cast<int>(random() % kSlotCount);
    table->TaskText[id] = "task " + std::to_string(n);
    table->TaskChecked[id] = value();
    table->EveryNDays[id] = value();
    table->StartDay[id] = value();
    table->StartMonth[id] = value();
    table->StartYear[id] = value();
    for (Mask* mask : {&table->HourMask[id], &table->WeekdayMask[id], &table->DayOfMonthMask[id],
                       &table->MonthMask[id]}) {
      // Half the lines hold only values 0..10, one digit but for the tens.
      const bool small = random() % 2;
      for (int k = 0; k < kMaskSize; ++k)
        (*mask)[k] = small ? static_cast<int16_t>(random() % 11) : value();
    }
    table->CheckedDate[id] = At(2024, 1, 1).AddHours(static_cast<int>(random() % 100000) - 50000);
  }
  auto reloaded = MakeTaskTable();
  test::ScriptedPrompter prompter;
  LoadDataBytes(*reloaded, FormatDataFile(*table), prompter);
  EXPECT_TRUE(prompter.asked.empty());
  EXPECT_TRUE(test::SameTasks(*reloaded, *table));
}

TEST(Save, OlderFormatsAreConvertedAndAnEmptyTableIsTheTerminatorAlone) {
  test::TempFolder folder;
  std::filesystem::copy_file(test::StoreData("v1.txt"), folder / kContentFile);
  test::ScriptedPrompter prompter;
  test::RecordingHooks hooks;
  auto table = MakeTaskTable();
  ASSERT_TRUE(LoadDataFile(*table, folder.path(), prompter));
  ASSERT_EQ(SaveDataFile(*table, folder.path(), false, prompter, hooks), SaveResult::Saved);
  const std::string saved = test::ReadFileBytes(folder / kContentFile);
  EXPECT_TRUE(
      saved.starts_with("*****\r\n 7 \r\nWater the plants\r\n"
                        "2024-03-05-18\t2024-03-04-18\t2024-03-07-18\r\n-1,0,0,0,0\r\n"));
  EXPECT_NE(saved.find("\r\n 8 \r\nCaf\xe9 au lait\r\n"
                       "2024-03-05-14\tMore than 1 year\t2024-03-07-18\r\n"),
            std::string::npos);

  auto empty = MakeTaskTable();
  empty->EveryNDays[3] = 4;
  ASSERT_EQ(SaveDataFile(*empty, folder.path(), false, prompter, hooks), SaveResult::Saved);
  EXPECT_EQ(test::ReadFileBytes(folder / kContentFile), "*** end\r\n");
  EXPECT_TRUE(prompter.asked.empty());
}

TEST(Save, QuestionAfterAFailedStartUpRead) {
  const std::string question =
      "There was an error opening the data file... Do you really want to save this data?";
  struct Case {
    Answer answer;
    SaveResult result;
  };
  for (const Case c :
       {Case{Answer::No, SaveResult::Declined}, Case{Answer::Cancel, SaveResult::Cancelled},
        Case{Answer::Yes, SaveResult::Saved}}) {
    test::TempFolder folder;
    test::WriteFileBytes(folder / kContentFile, "old");
    test::WriteFileBytes(folder / kPositionFile, "old position");
    test::ScriptedPrompter prompter;
    prompter.Queue(c.answer);
    test::RecordingHooks hooks;
    auto table = GoldenTable();
    EXPECT_EQ(SaveDataFile(*table, folder.path(), true, prompter, hooks), c.result);
    ASSERT_EQ(prompter.asked.size(), 1u);
    EXPECT_EQ(prompter.asked[0].text, question);
    EXPECT_EQ(prompter.asked[0].title, "Zelto Todo List save data");
    EXPECT_EQ(prompter.asked[0].buttons, Buttons::YesNoCancel);
    const bool written = c.answer == Answer::Yes;
    EXPECT_EQ(test::ReadFileBytes(folder / kContentFile) == "old", !written);
    EXPECT_EQ(test::ReadFileBytes(folder / kPositionFile) == "old position", !written);
    EXPECT_EQ(std::filesystem::exists(folder / kContentTmpFile), written);
    EXPECT_EQ(hooks.buttonCalls.empty(), !written);
  }
}

void ExpectFailedSave(const test::ScriptedPrompter& prompter, const test::RecordingHooks& hooks) {
  ASSERT_EQ(prompter.asked.size(), 1u);
  EXPECT_EQ(prompter.asked[0].text, "Error saving file!");
  EXPECT_EQ(prompter.asked[0].title, kAppTitle);
  EXPECT_EQ(prompter.asked[0].buttons, Buttons::Ok);
  EXPECT_EQ(hooks.buttonCalls, (std::vector<bool>{false, true}));
}

TEST(SaveFailure, ContentTxtKeepsItsBytesWhateverStepFails) {
  namespace fs = std::filesystem;
  const std::string oldBytes = "*****\r\n 1 \r\nold\r\n";
  struct Case {
    const char* name;
    std::function<void(const test::TempFolder&)> setUp;
    bool tmpComplete;  // content.tmp already holds the new data
  };
  const Case cases[] = {
      {"a folder where content.tmp must go",
       [](const test::TempFolder& f) {
         fs::create_directory(f / kContentTmpFile);
         test::WriteFileBytes(f / kContentTmpFile / "inside", "x");
       },
       false},
      {"a folder where position.txt must go",
       [](const test::TempFolder& f) { fs::create_directory(f / kPositionFile); }, false},
      {"read-only content.txt",
       [](const test::TempFolder& f) {
         fs::permissions(f / kContentFile, fs::perms::owner_read | fs::perms::group_read);
       },
       true},
      {"read-only content.tmp",
       [](const test::TempFolder& f) {
         test::WriteFileBytes(f / kContentTmpFile, "previous");
         fs::permissions(f / kContentTmpFile, fs::perms::owner_read);
       },
       false},
      {"content.new cannot be replaced",
       [](const test::TempFolder& f) {
         fs::create_directory(f / kContentNewFile);
         test::WriteFileBytes(f / kContentNewFile / "inside", "x");
       },
       true},
  };
  const std::string newBytes = FormatDataFile(*GoldenTable());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempFolder folder;
    test::WriteFileBytes(folder / kContentFile, oldBytes);
    c.setUp(folder);
    test::ScriptedPrompter prompter;
    test::RecordingHooks hooks;
    EXPECT_EQ(SaveDataFile(*GoldenTable(), folder.path(), false, prompter, hooks),
              SaveResult::Failed);
    ExpectFailedSave(prompter, hooks);
    EXPECT_EQ(test::ReadFileBytes(folder / kContentFile), oldBytes);
    if (c.tmpComplete) {
      EXPECT_EQ(test::ReadFileBytes(folder / kContentTmpFile), newBytes);
    }
  }

  test::TempFolder folder;
  test::ScriptedPrompter prompter;
  test::RecordingHooks hooks;
  EXPECT_EQ(SaveDataFile(*GoldenTable(), folder / "no such folder", false, prompter, hooks),
            SaveResult::Failed);
  ExpectFailedSave(prompter, hooks);
}

// Runs a save in a child process whose files may not grow beyond `limit`
// bytes, as on a full disk; the exit code says whether it failed as it must.
int SaveWithFileSizeLimit(const std::filesystem::path& folder, rlim_t limit) {
  const pid_t child = fork();
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
    const rlimit cap{limit, limit};
    setrlimit(RLIMIT_FSIZE, &cap);
    test::ScriptedPrompter prompter;
    test::RecordingHooks hooks;
    const SaveResult result = SaveDataFile(*GoldenTable(), folder, false, prompter, hooks);
    const bool reported = prompter.asked.size() == 1 &&
                          prompter.asked[0].text == "Error saving file!" &&
                          hooks.buttonCalls == std::vector<bool>{false, true};
    _exit(result == SaveResult::Failed && reported ? 0 : result == SaveResult::Saved ? 2 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

TEST(SaveFailure, AFullDiskIsReportedAndLeavesContentTxtAlone) {
  const std::string oldBytes = "*****\r\n 1 \r\nold\r\n";
  const std::size_t size = FormatDataFile(*GoldenTable()).size();
  for (rlim_t limit : {rlim_t{0}, rlim_t{20}, rlim_t{512}, rlim_t{size / 2}, rlim_t{size - 1}}) {
    SCOPED_TRACE(limit);
    test::TempFolder folder;
    test::WriteFileBytes(folder / kContentFile, oldBytes);
    EXPECT_EQ(SaveWithFileSizeLimit(folder.path(), limit), 0);
    EXPECT_EQ(test::ReadFileBytes(folder / kContentFile), oldBytes);
    EXPECT_FALSE(std::filesystem::exists(folder / kContentNewFile));
  }
  test::TempFolder folder;
  EXPECT_EQ(SaveWithFileSizeLimit(folder.path(), size), 2);  // room enough: saved
}

}  // namespace
}  // namespace zelto
