#include "store/merge.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <vector>

#include "schedule/taskvalue.h"
#include "store_test_util.h"

namespace zelto {
namespace {

using test::At;
using Kind = MergeConflictKind;
using Edit = void (*)(TaskTable&);
using Table = std::unique_ptr<TaskTable>;

constexpr int kId = 5;   // the task every case is about
constexpr int kNew = 9;  // a slot free in base

void Put(TaskTable& t, int id, std::string text) {
  t.TaskText[id] = std::move(text);
  t.HourMask[id][9] = 1;
  t.TaskChecked[id] = -1;
  t.CheckedDate[id] = At(2024, 3, 1, 10);
  t.PreviousOccurrence[id] = At(2024, 3, 1, 9);
  t.NextOccurrence[id] = At(2024, 3, 2, 9);
}

// Ticked tasks 1..6 with texts that are not UTF-8.
Table Base(int count = 6) {
  auto t = MakeTaskTable();
  for (int id = 1; id <= count; ++id) Put(*t, id, "caf\xe9 " + std::to_string(id));
  return t;
}

Table Copy(const TaskTable& t) {
  return std::make_unique<TaskTable>(t);
}

void EditText(TaskTable& t) {
  t.TaskText[kId] = "r\xe9sum\xe9";
}
void EditOtherText(TaskTable& t) {
  t.TaskText[kId] = "renew passport";
}
void EditRule(TaskTable& t) {
  t.WeekdayMask[kId][2] = 1;
}
void Untick(TaskTable& t) {
  t.TaskChecked[kId] = 0, t.CheckedDate[kId] = DateTime();
}
// The refresh's untick keeps the date.
void RefreshUntick(TaskTable& t) {
  t.TaskChecked[kId] = 0;
}
void Occurrences(TaskTable& t) {
  t.PreviousOccurrence[kId] = At(2024, 3, 2, 9), t.NextOccurrence[kId] = At(2024, 3, 3, 9);
}
void Refresh(TaskTable& t) {
  RefreshUntick(t), Occurrences(t);
}
void TickAfterDue(TaskTable& t) {
  t.TaskChecked[kId] = -1, t.CheckedDate[kId] = At(2024, 3, 2, 10);
}
void TickBeforeDue(TaskTable& t) {
  t.TaskChecked[kId] = -1, t.CheckedDate[kId] = At(2024, 3, 2, 8);
}
void Delete(TaskTable& t) {
  t.TaskText[kId].clear();
}
void Add(TaskTable& t) {
  Put(t, kNew, "new task");
}
void AddOther(TaskTable& t) {
  Put(t, kNew, "another new task");
}

Table Applied(const TaskTable& base, std::initializer_list<Edit> edits) {
  auto t = Copy(base);
  for (Edit e : edits) e(*t);
  return t;
}

TEST(Merge, TakesEachSidesChangeAndFindsTheConflicts) {
  const struct {
    const char* what;
    std::initializer_list<Edit> mine, theirs;
    std::optional<Kind> conflict;
    std::initializer_list<Edit> merged;  // applied to base, for a clean merge
  } cases[] = {
      {"untouched", {}, {}, {}, {}},
      {"text here", {EditText}, {}, {}, {EditText}},
      {"text there", {}, {EditText}, {}, {EditText}},
      {"rule there", {}, {EditRule}, {}, {EditRule}},
      {"untick here", {Untick}, {}, {}, {Untick}},
      {"untick there", {}, {Untick}, {}, {Untick}},
      {"the same text", {EditText}, {EditText}, {}, {EditText}},
      {"text here, tick there", {EditText}, {Untick}, {}, {EditText, Untick}},
      {"texts differ", {EditText}, {EditOtherText}, Kind::ChangedDifferently, {}},
      {"rule and text", {EditRule}, {EditText, EditRule}, Kind::ChangedDifferently, {}},
      {"ticks differ", {Untick}, {Refresh, TickAfterDue}, Kind::ChangedDifferently, {}},
      {"deleted here, changed there", {Delete}, {EditText}, Kind::DeletedHereChangedThere, {}},
      {"changed here, deleted there", {Untick}, {Delete}, Kind::ChangedHereDeletedThere, {}},
      {"deleted here", {Delete}, {}, {}, {Delete}},
      {"deleted there", {}, {Delete}, {}, {Delete}},
      {"deleted on both", {Delete}, {Delete}, {}, {Delete}},
      {"deleted here, refreshed there", {Delete}, {Refresh}, {}, {Delete}},
      {"refreshed here, deleted there", {Refresh}, {Delete}, {}, {Delete}},
      {"refreshed here, ticked again there",
       {Refresh},
       {Refresh, TickAfterDue},
       {},
       {Refresh, TickAfterDue}},
      {"added here", {Add}, {}, {}, {Add}},
      {"added there", {}, {Add}, {}, {Add}},
      {"added the same", {Add}, {Add}, {}, {Add}},
      {"added differently", {Add}, {AddOther}, Kind::AddedDifferently, {}},
      {"added here and there at other ids", {Add}, {Delete}, {}, {Add, Delete}},
      // The occurrences follow the tick or rule the task ends with.
      {"refreshed here, unticked there", {Occurrences}, {Untick}, {}, {Untick}},
      {"refreshed here, ticked after it there",
       {Refresh},
       {TickAfterDue},
       {},
       {Occurrences, TickAfterDue}},
      {"refreshed here, ticked before it there", {Refresh}, {TickBeforeDue}, {}, {TickBeforeDue}},
      {"text here, refreshed there", {EditText}, {Refresh}, {}, {EditText, RefreshUntick}},
      {"refreshed later there", {}, {Occurrences}, {}, {Occurrences}},
      {"refreshed later here", {Occurrences}, {}, {}, {Occurrences}},
  };
  const auto base = Base();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto mine = Applied(*base, c.mine), theirs = Applied(*base, c.theirs);
    const MergePlan plan = PlanMerge(*base, *mine, *theirs);
    EXPECT_FALSE(plan.renumbered);
    if (c.conflict) {
      ASSERT_EQ(plan.conflicts.size(), 1u);
      EXPECT_EQ(plan.conflicts[0].kind, *c.conflict);
      continue;
    }
    EXPECT_TRUE(plan.conflicts.empty());
    for (MergeChoice choice : {MergeChoice::KeepMine, MergeChoice::KeepTheirs}) {
      auto merged = Copy(*mine);
      ApplyMerge(*merged, *base, *theirs, plan, choice);
      EXPECT_EQ(test::Dump(*merged), test::Dump(*Applied(*base, c.merged)));
    }
  }
}

// One slot's fields as a line of the dump, without its id.
std::string SlotOf(const TaskTable& t, int id) {
  std::istringstream lines(test::Dump(t));
  const std::string prefix = std::to_string(id) + " ";
  for (std::string line; std::getline(lines, line);)
    if (line.starts_with(prefix)) return line.substr(prefix.size());
  return "(free)";
}

TEST(Merge, EachChoiceSettlesEachConflict) {
  enum From { Mine, Theirs };
  const struct {
    std::initializer_list<Edit> mine, theirs;
    MergeChoice choice;
    From atId;
    bool theirsMoved;
  } cases[] = {
      {{EditText}, {EditOtherText}, MergeChoice::KeepMine, Mine, false},
      {{EditText}, {EditOtherText}, MergeChoice::KeepTheirs, Theirs, false},
      {{EditText}, {EditOtherText}, MergeChoice::KeepBoth, Mine, true},
      {{Delete}, {EditText}, MergeChoice::KeepMine, Mine, false},
      {{Delete}, {EditText}, MergeChoice::KeepTheirs, Theirs, false},
      {{Delete}, {EditText}, MergeChoice::KeepBoth, Theirs, false},
      {{EditText}, {Delete}, MergeChoice::KeepMine, Mine, false},
      {{EditText}, {Delete}, MergeChoice::KeepTheirs, Theirs, false},
      {{EditText}, {Delete}, MergeChoice::KeepBoth, Mine, false},
  };
  const auto base = Base();
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << &c - cases);
    const auto mine = Applied(*base, c.mine), theirs = Applied(*base, c.theirs);
    auto merged = Copy(*mine);
    const auto outcome =
        ApplyMerge(*merged, *base, *theirs, PlanMerge(*base, *mine, *theirs), c.choice);
    EXPECT_EQ(SlotOf(*merged, kId), SlotOf(c.atId == Mine ? *mine : *theirs, kId));
    ASSERT_EQ(outcome.movedTo.size(), c.theirsMoved ? 1u : 0u);
    if (c.theirsMoved) {
      EXPECT_EQ(SlotOf(*merged, outcome.movedTo[0]), SlotOf(*theirs, kId));
    }
  }
}

TEST(Merge, KeepBothPlacesTheirsAtTheLowestIdFreeAfterTheMerge) {
  const auto base = Base();
  auto mine = Copy(*base), theirs = Copy(*base);
  EditText(*mine), EditOtherText(*theirs);  // a conflict at 5
  mine->TaskText[6].clear(), theirs->TaskText[6] = "restored";
  Put(*theirs, 7, "added there");
  Add(*mine), AddOther(*theirs);  // a conflict at 9
  auto merged = Copy(*mine);
  const auto outcome =
      ApplyMerge(*merged, *base, *theirs, PlanMerge(*base, *mine, *theirs), MergeChoice::KeepBoth);
  EXPECT_EQ(outcome.movedTo, (std::vector<int>{8, 10}));
  EXPECT_EQ(merged->TaskText[6], "restored");
  EXPECT_EQ(merged->TaskText[7], "added there");
  EXPECT_EQ(merged->TaskText[8], theirs->TaskText[kId]);
  EXPECT_EQ(merged->TaskText[10], theirs->TaskText[kNew]);
  EXPECT_EQ(merged->TaskText[0], "") << "slot 0 is no new task's";

  // A full table keeps mine and counts what found no place.
  const auto full = Base(kMaxTaskId);
  auto fullMine = Applied(*full, {EditText});
  const auto fullTheirs = Applied(*full, {EditOtherText});
  const auto fullOutcome =
      ApplyMerge(*fullMine, *full, *fullTheirs, PlanMerge(*full, *fullMine, *fullTheirs),
                 MergeChoice::KeepBoth);
  EXPECT_EQ(fullOutcome.notPlaced, 1);
  EXPECT_TRUE(fullOutcome.movedTo.empty());
  EXPECT_EQ(fullMine->TaskText[kId], "r\xe9sum\xe9");
  EXPECT_EQ(fullMine->TaskText[0], "");
}

void DeleteThreeAndRecount(TaskTable& t) {
  t.TaskText[3].clear(), RecountTasks(t);
}
void DeleteLastButOneAndRecount(TaskTable& t) {
  t.TaskText[7].clear(), RecountTasks(t);
}
void DeleteAndAddAnother(TaskTable& t) {
  t.TaskText[3].clear();
  Put(t, NewTaskId(t), "another task");
}
void DeleteAndAddItAgain(TaskTable& t) {
  const std::string text = t.TaskText[3];
  t.TaskText[3].clear();
  Put(t, NewTaskId(t), text);
}
void DeleteLastAndAddAtItsId(TaskTable& t) {
  t.TaskText[8].clear();
  t.TaskCount = 7;  // as the refresh counts
  Put(t, NewTaskId(t), "in the last one's place");
}
void Ticks(TaskTable& t) {
  Untick(t), t.TaskChecked[2] = 0;
}

TEST(Merge, ARecountOnEitherSideIsNoMergeById) {
  const struct {
    const char* what;
    Edit edit;
    bool renumbered;
  } cases[] = {
      {"a re-count", DeleteThreeAndRecount, true},
      {"a re-count that moved one task", DeleteLastButOneAndRecount, true},
      {"a task deleted, another added", DeleteAndAddAnother, false},
      {"a task deleted and made again", DeleteAndAddItAgain, false},
      {"the last deleted, a new one in its slot", DeleteLastAndAddAtItsId, false},
      {"ticks", Ticks, false},
  };
  const auto base = Base(8);
  base->TaskCount = 8;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto changed = Applied(*base, {c.edit});
    EXPECT_EQ(PlanMerge(*base, *changed, *base).renumbered, c.renumbered) << "here";
    EXPECT_EQ(PlanMerge(*base, *base, *changed).renumbered, c.renumbered) << "there";
  }
  // A copy from before a re-count, arriving after it.
  const auto recounted = Applied(*base, {DeleteThreeAndRecount});
  EXPECT_TRUE(PlanMerge(*recounted, *recounted, *base).renumbered);
}

TEST(Merge, UntouchedTasksKeepTheirBytes) {
  const auto base = Base(40);
  auto theirs = Copy(*base);
  for (int id = 1; id <= 40; id += 3) theirs->TaskText[id] += "\xff";
  for (int id = 2; id <= 40; id += 5) theirs->TaskChecked[id] = 0;
  auto mine = Copy(*base);
  ApplyMerge(*mine, *base, *theirs, PlanMerge(*base, *mine, *theirs), MergeChoice::KeepMine);
  EXPECT_EQ(FormatDataFile(*mine), FormatDataFile(*theirs));
}

TEST(ConflictCopyName, KnowsTheCopiesOfTheDataFileOnly) {
  const struct {
    const char* name;
    bool copy;
  } cases[] = {
      {"content.sync-conflict-20261206-101500-ABCDEFG.txt", true},
      {"content.sync-conflict-20141012-123456.txt", true},
      {"content (conflicted copy).txt", true},
      {"content (Someone's conflicted copy 2026-12-06).txt", true},
      {"content (Someone's conflicted copy 2026-12-06) (1).txt", true},
      {"content (conflicted copy 2026-12-06 101500).txt", true},
      {"content_conflict-20261206-101500.txt", true},
      {"content-conflict-20261206.txt", true},
      {"content (SFConflict someone@example.org 2026-12-06-10-15-00).txt", true},
      {"content (copie en conflit de Someone 2026-12-06).txt", true},
      {"content.txt.conflict", true},
      {"content.txt.Conflict-20261206", true},
      {"content.txt", false},
      {"content.tmp", false},
      {"content.sync-conflict-20261206-101500-ABCDEFG.tmp", false},
      {".content.txt.AbCdEf", false},
      {".content.sync-conflict-20261206-101500-ABCDEFG.txt", false},
      {".syncthing.content.txt.tmp", false},
      {"content (1).txt", false},
      {"content.txt~", false},
      {"contents-conflict.txt", false},
      {"position.sync-conflict-20261206-101500-ABCDEFG.txt", false},
      {"conflict.txt", false},
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsConflictCopyName(c.name), c.copy) << c.name;
}

}  // namespace
}  // namespace zelto
