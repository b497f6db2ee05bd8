#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rules.h"
#include "schedule/passes.h"
#include "support/core/fakes.h"

namespace zelto {
namespace {

using test::At;
using test::Show;

constexpr int16_t kTicked = -1;
const DateTime kNow = At(2024, 5, 15, 10, 30);
const DateTime kTickedAt = At(2024, 5, 9, 20, 15);

// A daily task at 09:00, ticked, whose next occurrence is `next`.
void DailyAtNine(TaskTable& t, int id, Occurrence next) {
  test::WriteRule(t, id, {.hours = "9"});
  t.TaskChecked[id] = kTicked;
  t.CheckedDate[id] = kTickedAt;
  t.NextOccurrence[id] = std::move(next);
}

// Either pass; true when the refresh asks for the window back.
bool Pass(bool refresh, TaskTable& t, DateTime now, bool minimized = false) {
  if (refresh) return RefreshDueTasks(t, now, minimized).restore;
  RecalculateAll(t, now);
  return false;
}

// The refresh unticks a due task and searches it again, once, however long
// ago it fell due (the program may have been closed); if the task was ticked
// and the window is minimised, it asks for the window back, and a later
// unticked due task does not take that back. Recalculating searches every
// task and unticks none of these. The tick's date stays.
TEST(Passes, RollOverOnlyWhenNextOccurrenceHasArrivedOrCannotBeRead) {
  const struct {
    const char* what;
    Occurrence next;
    bool due;
  } cases[] = {
      {"five days ago, while closed", At(2024, 5, 10, 9), true},
      {"exactly now", kNow, true},
      {"a second after now", DateTime::FromSeconds(kNow.Seconds() + 1), false},
      {"empty: the zero date-time", std::monostate{}, true},
      {"ok", std::string(kOkMarker), true},
      {"!!! Error !!! in the next field only", std::string(kErrorMarker), true},
      {"a past date as text", std::string("2024-05-15 08:00"), true},
      {"a future date as text", std::string("5/15/2024 11:00 AM"), false},
      {"a past file date as text", std::string("2024-05-15-10"), true},  // not a general date
      {"More than 1 year", std::string(kMoreThanOneYear), false},
  };
  for (const auto& c : cases) {
    for (int run = 0; run < 8; ++run) {
      const bool refresh = run & 1, ticked = run & 2, minimized = run & 4;
      SCOPED_TRACE(std::string(c.what) + (refresh ? ", refresh" : ", recalculate") +
                   (ticked ? ", ticked" : "") + (minimized ? ", minimised" : ""));
      auto t = MakeTaskTable();
      DailyAtNine(*t, 4, c.next);
      t->TaskChecked[4] = ticked ? kTicked : 0;
      DailyAtNine(*t, 7, At(2024, 5, 10, 9));
      t->TaskChecked[7] = 0;
      const bool rolls = refresh && c.due, searched = rolls || !refresh;
      EXPECT_EQ(Pass(refresh, *t, kNow, minimized), rolls && ticked && minimized)
          << "window asked for";
      EXPECT_EQ(t->TaskChecked[4], ticked && !rolls ? kTicked : 0);
      EXPECT_EQ(test::Occurrences(*t, 4),
                searched ? "2024-05-15-09 / 2024-05-16-09" : "ok / " + Show(c.next));
      EXPECT_EQ(t->CheckedDate[4], kTickedAt);
    }
  }
}

// The refresh names the ticked tasks that fell due again and says whether
// it changed anything. A damaged record (markers in both fields) is unticked
// by either pass and keeps its markers: unticked, it is no news, hour after
// hour.
TEST(Passes, RefreshTellsWhichDoneTasksFellDueAndWhetherAnythingChanged) {
  auto t = MakeTaskTable();
  DailyAtNine(*t, 2, At(2024, 5, 10, 9));         // done, due
  DailyAtNine(*t, 5, At(2024, 5, 16, 9));         // done, not yet due
  DailyAtNine(*t, 6, std::string(kErrorMarker));  // done, damaged
  t->PreviousOccurrence[6] = std::string(kErrorMarker);
  const RefreshResult first = RefreshDueTasks(*t, kNow, false);
  EXPECT_EQ(first.dueAgain, (std::vector<int>{2, 6}));
  EXPECT_TRUE(first.changed);
  const RefreshResult again = RefreshDueTasks(*t, kNow, false);
  EXPECT_TRUE(again.dueAgain.empty());
  EXPECT_FALSE(again.changed) << "only the damaged task is due, and it stays as it was";
  t->TaskChecked[6] = kTicked;
  RecalculateAll(*t, kNow);
  EXPECT_EQ(t->TaskChecked[6], 0);
  EXPECT_EQ(test::Occurrences(*t, 6), "!!! Error !!! / !!! Error !!!");
}

// Both passes skip free slots and leave TaskCount at the highest id in use
// (unchanged when none is).
TEST(Passes, WalkTheSlotsInUse) {
  for (bool refresh : {true, false}) {
    SCOPED_TRACE(refresh ? "refresh" : "recalculate");
    auto t = MakeTaskTable();
    t->TaskCount = 42;
    Pass(refresh, *t, kNow);
    EXPECT_EQ(t->TaskCount, 42) << "no slot in use";
    for (int id : {3, 7, kMaxTaskId}) DailyAtNine(*t, id, At(2024, 5, 10, 9));
    Pass(refresh, *t, kNow);
    EXPECT_EQ(t->TaskCount, kMaxTaskId);
    DailyAtNine(*t, kMaxTaskId, At(2024, 5, 10, 9));
    t->TaskText.Set(kMaxTaskId, {});
    Pass(refresh, *t, kNow);
    EXPECT_EQ(t->TaskCount, 7);
    EXPECT_EQ(t->TaskChecked[kMaxTaskId], kTicked) << "a free slot is not searched";
    EXPECT_EQ(Show(t->NextOccurrence[kMaxTaskId]), "2024-05-10-09");
  }
}

}  // namespace
}  // namespace zelto
