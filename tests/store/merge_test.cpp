#include "store/merge.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
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
  t.TaskText.Set(id, text);
  t.HourMask[id][9] = 1;
  t.TaskChecked[id] = -1;
  t.CheckedDate[id] = At(2024, 3, 1, 10);
  t.PreviousOccurrence[id] = At(2024, 3, 1, 9);
  t.NextOccurrence[id] = At(2024, 3, 2, 9);
}

// Ticked tasks 1..count with texts that are not UTF-8.
Table Base(int count = 6) {
  auto t = MakeTaskTable();
  for (int id = 1; id <= count; ++id) Put(*t, id, "caf\xe9 " + std::to_string(id));
  t->TaskCount = static_cast<int16_t>(count);
  return t;
}

Table Applied(const TaskTable& base, std::initializer_list<Edit> edits) {
  auto t = std::make_unique<TaskTable>(base);
  for (Edit e : edits) e(*t);
  return t;
}

const Edit Text = [](TaskTable& t) { t.TaskText.Set(kId, "r\xe9sum\xe9"); };
const Edit OtherText = [](TaskTable& t) { t.TaskText.Set(kId, "renew passport"); };
const Edit Rule = [](TaskTable& t) { t.DayOfMonthMask[kId][30] = 1; };  // the 31st
const Edit Untick = [](TaskTable& t) { t.TaskChecked[kId] = 0, t.CheckedDate[kId] = {}; };
const Edit RefreshUntick = [](TaskTable& t) { t.TaskChecked[kId] = 0; };  // the date stays
const Edit Searched = [](TaskTable& t) {
  t.PreviousOccurrence[kId] = At(2024, 3, 2, 9), t.NextOccurrence[kId] = At(2024, 3, 3, 9);
};
const Edit Refresh = [](TaskTable& t) { RefreshUntick(t), Searched(t); };
const Edit TickAfterDue = [](TaskTable& t) {
  t.TaskChecked[kId] = -1, t.CheckedDate[kId] = At(2024, 3, 2, 10);
};
const Edit TickBeforeDue = [](TaskTable& t) {
  t.TaskChecked[kId] = -1, t.CheckedDate[kId] = At(2024, 3, 2, 8);
};
const Edit Delete = [](TaskTable& t) { t.TaskText.Set(kId, {}); };
const Edit Add = [](TaskTable& t) { Put(t, kNew, "new task"); };
const Edit AddOther = [](TaskTable& t) { Put(t, kNew, "another new task"); };

TEST(Merge, TakesEachSidesChangeAndFindsTheConflicts) {
  const struct {
    const char* what;
    std::initializer_list<Edit> mine, theirs;
    std::optional<Kind> conflict;
    std::initializer_list<Edit> merged;  // applied to base, for a clean merge
  } cases[] = {
      {"untouched", {}, {}, {}, {}},
      {"text here", {Text}, {}, {}, {Text}},
      {"untick there", {}, {Untick}, {}, {Untick}},
      {"the same text", {Text}, {Text}, {}, {Text}},
      {"text here, untick there", {Text}, {Untick}, {}, {Text, Untick}},
      {"texts differ", {Text}, {OtherText}, Kind::ChangedDifferently, {}},
      {"rules differ", {Rule}, {Text, Rule}, Kind::ChangedDifferently, {}},
      {"ticks differ", {Untick}, {Refresh, TickAfterDue}, Kind::ChangedDifferently, {}},
      {"deleted here, changed there", {Delete}, {Text}, Kind::DeletedHereChangedThere, {}},
      {"changed here, deleted there", {Untick}, {Delete}, Kind::ChangedHereDeletedThere, {}},
      {"deleted here", {Delete}, {}, {}, {Delete}},
      {"deleted there", {}, {Delete}, {}, {Delete}},
      {"deleted on both", {Delete}, {Delete}, {}, {Delete}},
      {"deleted here, refreshed there", {Delete}, {Refresh}, {}, {Delete}},
      {"ticked again there", {Refresh}, {Refresh, TickAfterDue}, {}, {Searched, TickAfterDue}},
      {"added here", {Add}, {}, {}, {Add}},
      {"added there", {}, {Add}, {}, {Add}},
      {"added the same", {Add}, {Add}, {}, {Add}},
      {"added differently", {Add}, {AddOther}, Kind::AddedDifferently, {}},
      // The occurrences follow the tick or rule the task ends with.
      {"searched here, unticked there", {Searched}, {Untick}, {}, {Untick}},
      {"refreshed, ticked after it there", {Refresh}, {TickAfterDue}, {}, {Searched, TickAfterDue}},
      {"refreshed, ticked before it there", {Refresh}, {TickBeforeDue}, {}, {TickBeforeDue}},
      {"text here, refreshed there", {Text}, {Refresh}, {}, {Text, RefreshUntick}},
      {"searched further here", {Searched}, {}, {}, {Searched}},
  };
  const auto base = Base();
  const MergeBase shared = MakeMergeBase(*base);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto mine = Applied(*base, c.mine), theirs = Applied(*base, c.theirs);
    const MergePlan plan = PlanMerge(shared, *mine, *theirs);
    EXPECT_FALSE(plan.renumbered);
    if (c.conflict) {
      ASSERT_EQ(plan.conflicts.size(), 1u);
      EXPECT_EQ(plan.conflicts[0].kind, *c.conflict);
      continue;
    }
    EXPECT_TRUE(plan.conflicts.empty());
    auto merged = Applied(*mine, {});
    ApplyMerge(*merged, shared, *theirs, plan, MergeChoice::KeepTheirs);
    EXPECT_EQ(test::Dump(*merged), test::Dump(*Applied(*base, c.merged)));
  }
}

TEST(Merge, EachChoiceSettlesEachConflict) {
  using enum MergeChoice;
  const struct {
    Edit mine, theirs;
    MergeChoice choice;
    const char* atId;
    bool theirsMoved;
  } cases[] = {
      {Text, OtherText, KeepMine, "r\xe9sum\xe9", false},
      {Text, OtherText, KeepTheirs, "renew passport", false},
      {Text, OtherText, KeepBoth, "r\xe9sum\xe9", true},
      {Delete, Text, KeepMine, "", false},
      {Delete, Text, KeepTheirs, "r\xe9sum\xe9", false},
      {Delete, Text, KeepBoth, "r\xe9sum\xe9", false},
      {Text, Delete, KeepMine, "r\xe9sum\xe9", false},
      {Text, Delete, KeepTheirs, "", false},
      {Text, Delete, KeepBoth, "r\xe9sum\xe9", false},
  };
  const auto base = Base();
  const MergeBase shared = MakeMergeBase(*base);
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << &c - cases);
    auto merged = Applied(*base, {c.mine});
    const auto theirs = Applied(*base, {c.theirs});
    const auto outcome =
        ApplyMerge(*merged, shared, *theirs, PlanMerge(shared, *merged, *theirs), c.choice);
    EXPECT_EQ(merged->TaskText[kId], c.atId);
    EXPECT_EQ(outcome.movedTo, c.theirsMoved ? std::vector<int>{7} : std::vector<int>{});
  }
}

TEST(Merge, KeepBothPlacesTheirsAtTheLowestIdFreeAfterTheMerge) {
  const auto base = Base();
  auto mine = Applied(*base, {Text, Add}), theirs = Applied(*base, {OtherText, AddOther});
  mine->TaskText.Set(6, {}), theirs->TaskText.Set(6, "restored");
  Put(*theirs, 7, "added there");
  auto merged = Applied(*mine, {});
  const MergeBase shared = MakeMergeBase(*base);
  const auto outcome = ApplyMerge(*merged, shared, *theirs, PlanMerge(shared, *mine, *theirs),
                                  MergeChoice::KeepBoth);
  EXPECT_EQ(outcome.movedTo, (std::vector<int>{8, 10}));
  const char* texts[] = {"",         "restored",        "added there", "renew passport",
                         "new task", "another new task"};  // ids 0, 6..10
  for (int k = 0; k < 6; ++k) EXPECT_EQ(merged->TaskText[k ? k + 5 : 0], texts[k]) << k;

  // A full table keeps mine and counts what found no place.
  const auto full = Base(kMaxTaskId);
  auto fullMine = Applied(*full, {Text});
  const auto fullTheirs = Applied(*full, {OtherText});
  const MergeBase fullShared = MakeMergeBase(*full);
  const auto fullOutcome =
      ApplyMerge(*fullMine, fullShared, *fullTheirs, PlanMerge(fullShared, *fullMine, *fullTheirs),
                 MergeChoice::KeepBoth);
  EXPECT_EQ(fullOutcome.notPlaced, 1);
  EXPECT_EQ(fullMine->TaskText[kId], "r\xe9sum\xe9");
  EXPECT_EQ(fullMine->TaskText[0], "");
}

TEST(Merge, ARecountOnEitherSideIsNoMergeById) {
  const Edit recount = [](TaskTable& t) { t.TaskText.Set(3, {}), RecountTasks(t); };
  const struct {
    const char* what;
    Edit edit;
    bool renumbered;
  } cases[] = {
      {"a re-count", recount, true},
      {"a re-count that moved one task",
       [](TaskTable& t) { t.TaskText.Set(7, {}), RecountTasks(t); }, true},
      {"a task deleted, another added",
       [](TaskTable& t) { t.TaskText.Set(3, {}), Put(t, NewTaskId(t), "another task"); }, false},
      {"a task deleted and made again",
       [](TaskTable& t) {
         Put(t, NewTaskId(t), std::string(t.TaskText[3])), t.TaskText.Set(3, {});
       },
       false},
      {"the last deleted, a new one in its slot",
       [](TaskTable& t) { t.TaskText.Set(8, {}), t.TaskCount = 7, Put(t, NewTaskId(t), "new"); },
       false},
      {"ticks", [](TaskTable& t) { t.TaskChecked[2] = t.TaskChecked[4] = 0; }, false},
  };
  const auto base = Base(8);
  const MergeBase shared = MakeMergeBase(*base);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto changed = Applied(*base, {c.edit});
    EXPECT_EQ(PlanMerge(shared, *changed, *base).renumbered, c.renumbered) << "here";
    EXPECT_EQ(PlanMerge(shared, *base, *changed).renumbered, c.renumbered) << "there";
  }
  const auto recounted = Applied(*base, {recount});
  EXPECT_TRUE(PlanMerge(MakeMergeBase(*recounted), *recounted, *base).renumbered)
      << "a copy from before it";
}

// An edit of the text of task kId, made on a copy of it.
std::function<void(TaskTable&)> EditText(void (*edit)(std::string&)) {
  return [edit](TaskTable& t) {
    std::string text(t.TaskText[kId]);
    edit(text);
    t.TaskText.Set(kId, text);
  };
}

// Base keeps only a hash of each text and rule: a change of any one of
// their fields must show, or the merge would drop it unseen.
TEST(Merge, SeesAChangeOfAnyOneFieldOfTextAndRule) {
  const auto base = Base();
  for (int k = 0; k < kMaskSize; ++k) {
    (*base).HourMask[kId][k] = static_cast<int16_t>(k % 3 == 0);
    (*base).WeekdayMask[kId][k] = static_cast<int16_t>(k % 2);
    (*base).DayOfMonthMask[kId][k] = 1;
  }
  std::vector<std::pair<std::string, std::function<void(TaskTable&)>>> changes = {
      {"a byte more", EditText([](std::string& s) { s += ' '; })},
      {"a byte less", EditText([](std::string& s) { s.pop_back(); })},
      {"another first byte", EditText([](std::string& s) { s[0] ^= 0x20; })},
      {"another last byte", EditText([](std::string& s) { s.back() ^= 0x01; })},
      {"every n days", [](TaskTable& t) { t.EveryNDays[kId] = 2; }},
      {"start day", [](TaskTable& t) { t.StartDay[kId] = -1; }},
      {"start month", [](TaskTable& t) { t.StartMonth[kId] = 1; }},
      {"start year", [](TaskTable& t) { t.StartYear[kId] = 2024; }},
  };
  const std::pair<const char*, MaskColumn TaskTable::*> masks[] = {
      {"hour", &TaskTable::HourMask},
      {"weekday", &TaskTable::WeekdayMask},
      {"day", &TaskTable::DayOfMonthMask},
      {"month", &TaskTable::MonthMask}};
  for (const auto& [name, column] : masks) {
    for (int k = 0; k < kMaskSize; ++k) {
      const std::string entry = std::string(name) + " entry " + std::to_string(k);
      changes.emplace_back(entry + " flipped", [=](TaskTable& t) {
        (t.*column)[kId][k] = static_cast<int16_t>((t.*column)[kId][k] ^ 1);
      });
      changes.emplace_back(entry + " 2", [=](TaskTable& t) { (t.*column)[kId][k] = 2; });
      changes.emplace_back(entry + " 300", [=](TaskTable& t) { (t.*column)[kId][k] = 300; });
      if (k == kMaskSize - 1)
        changes.emplace_back(entry + " -1", [=](TaskTable& t) { (t.*column)[kId][k] = -1; });
    }
  }
  const MergeBase shared = MakeMergeBase(*base);
  const auto deleted = Applied(*base, {Delete});
  auto changed = Applied(*base, {}), merged = Applied(*base, {});
  for (const auto& [what, change] : changes) {
    SCOPED_TRACE(what);
    *changed = *base, *merged = *base;
    change(*changed);
    // Changed there: taken here.
    ApplyMerge(*merged, shared, *changed, PlanMerge(shared, *merged, *changed),
               MergeChoice::KeepMine);
    EXPECT_EQ(test::Dump(*merged), test::Dump(*changed));
    // Changed here, deleted there: asked about.
    const MergePlan plan = PlanMerge(shared, *changed, *deleted);
    ASSERT_EQ(plan.conflicts.size(), 1u);
    EXPECT_EQ(plan.conflicts[0].kind, Kind::ChangedHereDeletedThere);
  }
}

// After a save the shared version is the file written, which keeps a tick's
// date to the hour and a line break in a text as a blank: the base made from
// the table is the one a load of the file gives.
TEST(Merge, TheBaseOfASaveIsTheFileAsReadAgain) {
  auto table = Base();
  table->CheckedDate[1] = At(2024, 3, 1, 10, 37, 12);
  table->TaskChecked[2] = 0, table->CheckedDate[2] = {};
  table->CheckedDate[3] = At(1850, 1, 1, 23, 59, 59);  // before the zero date-time
  table->TaskText.Set(4, "two\nlines");
  table->WeekdayMask[4][3] = -7, table->EveryNDays[4] = 32767, table->TaskChecked[4] = 5;
  auto read = MakeTaskTable();
  ASSERT_TRUE(LoadDataBytes(*read, FormatDataFile(*table)).Read());
  EXPECT_EQ(MakeSavedMergeBase(*table), MakeMergeBase(*read));
  EXPECT_NE(MakeMergeBase(*table), MakeMergeBase(*read));
}

TEST(Merge, UntouchedTasksKeepTheirBytes) {
  const auto base = Base(40);
  auto theirs = Applied(*base, {});
  for (int id = 1; id <= 40; id += 3)
    theirs->TaskText.Set(id, std::string(theirs->TaskText[id]) + "\xff");
  for (int id = 2; id <= 40; id += 5) theirs->TaskChecked[id] = 0;
  auto mine = Applied(*base, {});
  const MergeBase shared = MakeMergeBase(*base);
  ApplyMerge(*mine, shared, *theirs, PlanMerge(shared, *mine, *theirs), MergeChoice::KeepMine);
  EXPECT_EQ(FormatDataFile(*mine), FormatDataFile(*theirs));
}

TEST(ConflictCopyName, KnowsTheCopiesOfTheDataFileOnly) {
  for (const char* name : {
           "content.sync-conflict-20261206-101500-ABCDEFG.txt",
           "content (conflicted copy).txt",
           "content_conflict-20261206-101500.txt",
           "content-conflict-20261206.txt",
           "content (SFConflict someone@example.org 2026-12-06-10-15-00).txt",
           "content (copie en conflit de Someone 2026-12-06).txt",
           "content.txt.Conflict-20261206",
       })
    EXPECT_TRUE(IsConflictCopyName(name)) << name;
  for (const char* name :
       {"content.txt", "content.tmp", "content.sync-conflict-20261206-101500-ABCDEFG.tmp",
        ".content.txt.AbCdEf", ".content.sync-conflict-20261206-101500-ABCDEFG.txt",
        "content (1).txt", "content.txt~", "contents-conflict.txt", "conflict.txt", "",
        "position.sync-conflict-20261206-101500-ABCDEFG.txt"})
    EXPECT_FALSE(IsConflictCopyName(name)) << name;
}

}  // namespace
}  // namespace zelto
