#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "store/datafile.h"
#include "store_test_util.h"
#include "support/core/fakes.h"

namespace zelto {
namespace {

using test::At;

std::unique_ptr<TaskTable> SomeTasks(int count, std::string_view prefix) {
  auto t = MakeTaskTable();
  for (int id = 1; id <= count; ++id) {
    t->TaskText[id] = std::string(prefix) + " task " + std::to_string(id);
    t->CheckedDate[id] = At(2024, 1, 1).AddHours(id);
    t->PreviousOccurrence[id] = At(2024, 2, 1).AddHours(id);
    t->NextOccurrence[id] = std::string(kMoreThanOneYear);
    t->EveryNDays[id] = static_cast<int16_t>(id % 7);
    t->HourMask[id][id % 24] = 1;
  }
  return t;
}

SaveStep gStopAt;
bool gKill;

void StopHere(SaveStep step) {
  if (step != gStopAt) return;
  if (gKill) raise(SIGKILL);
  _exit(42);
}

constexpr SaveStep kSteps[] = {SaveStep::PositionWritten,  SaveStep::TmpPartlyWritten,
                               SaveStep::NewPartlyWritten, SaveStep::TmpWritten,
                               SaveStep::NewWritten,       SaveStep::Replaced,
                               SaveStep::FolderSynced};

// The process dies at each step of a save: content.txt then holds exactly
// the old or exactly the new data, and the next save goes through.
TEST(SaveCrash, ContentTxtIsTheOldOrTheNewFileAtEveryStep) {
  auto oldTable = SomeTasks(40, "old");
  auto newTable = SomeTasks(300, "new");
  const std::string newBytes = FormatDataFile(*newTable);
  for (bool kill : {true, false}) {
    for (SaveStep step : kSteps) {
      SCOPED_TRACE(testing::Message()
                   << "step " << static_cast<int>(step) << (kill ? " SIGKILL" : " _exit"));
      test::TempFolder folder;
      test::ScriptedPrompter prompter;
      test::RecordingHooks hooks;
      ASSERT_EQ(SaveDataFile(*oldTable, folder.path(), false, prompter, hooks), SaveResult::Saved);
      const std::string oldBytes = test::ReadFileBytes(folder / kContentFile);

      const pid_t child = fork();
      if (child == 0) {
        gStopAt = step;
        gKill = kill;
        SetSaveStepHookForTesting(&StopHere);
        SaveDataFile(*newTable, folder.path(), false, prompter, hooks);
        _exit(0);  // the step was never reached
      }
      int status = 0;
      ASSERT_EQ(waitpid(child, &status, 0), child);
      if (kill) {
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
      } else {
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 42);
      }

      const bool replaced = step >= SaveStep::Replaced;
      EXPECT_EQ(test::ReadFileBytes(folder / kContentFile), replaced ? newBytes : oldBytes);
      auto loaded = MakeTaskTable();
      ASSERT_TRUE(LoadDataFile(*loaded, folder.path(), prompter));
      EXPECT_TRUE(test::SameTasks(*loaded, replaced ? *newTable : *oldTable));
      EXPECT_TRUE(prompter.asked.empty());

      ASSERT_EQ(SaveDataFile(*newTable, folder.path(), false, prompter, hooks), SaveResult::Saved);
      EXPECT_EQ(test::ReadFileBytes(folder / kContentFile), newBytes);
      EXPECT_FALSE(std::filesystem::exists(folder / kContentNewFile));
    }
  }
}

// content.tmp is rewritten in place, but never through a link: a hard or
// symbolic link to content.txt must not let the new bytes reach content.txt
// before the rename.
TEST(SaveCrash, ContentTmpLinkedToContentTxtIsNotWrittenThrough) {
  auto oldTable = SomeTasks(40, "old");
  auto newTable = SomeTasks(300, "new");
  for (bool hard : {true, false}) {
    SCOPED_TRACE(hard ? "hard link" : "symbolic link");
    test::TempFolder folder;
    test::ScriptedPrompter prompter;
    test::RecordingHooks hooks;
    ASSERT_EQ(SaveDataFile(*oldTable, folder.path(), false, prompter, hooks), SaveResult::Saved);
    const std::string oldBytes = test::ReadFileBytes(folder / kContentFile);
    std::filesystem::remove(folder / kContentTmpFile);
    if (hard) {
      std::filesystem::create_hard_link(folder / kContentFile, folder / kContentTmpFile);
    } else {
      std::filesystem::create_symlink(folder / kContentFile, folder / kContentTmpFile);
    }

    const pid_t child = fork();
    if (child == 0) {
      gStopAt = SaveStep::NewPartlyWritten;
      gKill = true;
      SetSaveStepHookForTesting(&StopHere);
      SaveDataFile(*newTable, folder.path(), false, prompter, hooks);
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(test::ReadFileBytes(folder / kContentFile), oldBytes);
    EXPECT_FALSE(std::filesystem::is_symlink(folder / kContentTmpFile));
  }
}

}  // namespace
}  // namespace zelto
