#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rules.h"
#include "schedule/passes.h"
#include "support/core/fakes.h"

namespace zelto {
namespace {

using test::At;
using test::RecordingHooks;
using test::Show;
using test::WriteRule;

constexpr int16_t kTicked = -1;
const DateTime kNow = At(2024, 5, 15, 10, 30);

// A daily task at 09:00, ticked, whose next occurrence is `next`.
void DailyAtNine(TaskTable& t, int id, Occurrence next) {
  WriteRule(t, id, {.hours = "9"});
  t.TaskChecked[id] = kTicked;
  t.CheckedDate[id] = At(2024, 5, 9, 20, 15);
  t.PreviousOccurrence[id] = std::string(kOkMarker);
  t.NextOccurrence[id] = std::move(next);
}

TEST(RefreshDueTasks, RollsATaskThatFellDueWhileClosedOverOnce) {
  auto t = MakeTaskTable();
  RecordingHooks hooks;
  DailyAtNine(*t, 4, At(2024, 5, 10, 9));

  RefreshDueTasks(*t, kNow, hooks);
  EXPECT_EQ(t->TaskChecked[4], 0);
  EXPECT_EQ(Show(t->PreviousOccurrence[4]), "2024-05-15-09");
  EXPECT_EQ(Show(t->NextOccurrence[4]), "2024-05-16-09");
  EXPECT_EQ(t->CheckedDate[4], At(2024, 5, 9, 20, 15));

  // Ticked again, it stays ticked until 09:00 the next day, and not a
  // second longer.
  t->TaskChecked[4] = kTicked;
  for (DateTime now : {kNow, At(2024, 5, 16, 8, 59, 59)}) {
    RefreshDueTasks(*t, now, hooks);
    EXPECT_EQ(t->TaskChecked[4], kTicked) << FormatFileDate(now);
  }
  RefreshDueTasks(*t, At(2024, 5, 16, 9), hooks);
  EXPECT_EQ(t->TaskChecked[4], 0);
  EXPECT_EQ(Show(t->PreviousOccurrence[4]), "2024-05-16-09");
  EXPECT_EQ(Show(t->NextOccurrence[4]), "2024-05-17-09");
}

TEST(RefreshDueTasks, DueWhenNextOccurrenceHasArrivedOrCannotBeRead) {
  struct Case {
    const char* what;
    Occurrence next;
    bool due;
  };
  const Case cases[] = {
      {"a past hour", At(2024, 5, 15, 9), true},
      {"exactly now", kNow, true},
      {"a second after now", DateTime::FromSeconds(kNow.Seconds() + 1), false},
      {"empty: the zero date-time", std::monostate{}, true},
      {"ok", std::string(kOkMarker), true},
      {"!!! Error !!! in the next field only", std::string(kErrorMarker), true},
      {"unreadable text", std::string("next week"), true},
      {"a past date as text", std::string("2024-05-15 08:00"), true},
      {"a future date as text", std::string("5/15/2024 11:00 AM"), false},
      {"a past file date as text", std::string("2024-05-15-10"), true},
      {"More than 1 year", std::string(kMoreThanOneYear), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto t = MakeTaskTable();
    RecordingHooks hooks;
    DailyAtNine(*t, 4, c.next);
    RefreshDueTasks(*t, kNow, hooks);
    EXPECT_EQ(t->TaskChecked[4], c.due ? 0 : kTicked);
    // Only a due task is searched again.
    EXPECT_EQ(Show(t->PreviousOccurrence[4]), c.due ? "2024-05-15-09" : "ok");
    EXPECT_EQ(Show(t->NextOccurrence[4]), c.due ? "2024-05-16-09" : Show(c.next));
  }
}

TEST(RefreshDueTasks, LeavesFreeSlotsAlone) {
  auto t = MakeTaskTable();
  RecordingHooks hooks;
  DailyAtNine(*t, 4, At(2024, 5, 10, 9));
  t->TaskText[4].clear();
  RefreshDueTasks(*t, kNow, hooks);
  RecalculateAll(*t, kNow, hooks);
  EXPECT_EQ(t->TaskChecked[4], kTicked);
  EXPECT_EQ(Show(t->NextOccurrence[4]), "2024-05-10-09");
}

TEST(Passes, ErrorTasksAreUntickedByEveryPassAndKeepTheirMarkers) {
  auto t = MakeTaskTable();
  RecordingHooks hooks;
  DailyAtNine(*t, 4, std::string(kErrorMarker));
  t->PreviousOccurrence[4] = std::string(kErrorMarker);
  for (int pass = 0; pass < 4; ++pass) {
    t->TaskChecked[4] = kTicked;
    if (pass % 2 == 0) {
      RefreshDueTasks(*t, kNow.AddHours(pass), hooks);
    } else {
      RecalculateAll(*t, kNow.AddHours(pass), hooks);
    }
    EXPECT_EQ(t->TaskChecked[4], 0) << "pass " << pass;
    EXPECT_EQ(Show(t->PreviousOccurrence[4]), kErrorMarker);
    EXPECT_EQ(Show(t->NextOccurrence[4]), kErrorMarker);
  }
}

TEST(Passes, MoreThanOneYearWaitsForARecalculation) {
  auto t = MakeTaskTable();
  RecordingHooks hooks;
  DailyAtNine(*t, 4, std::string(kMoreThanOneYear));
  t->PreviousOccurrence[4] = At(2020, 1, 1, 9);
  for (DateTime now : {kNow, kNow.AddDays(1), kNow.AddDays(400)}) {
    RefreshDueTasks(*t, now, hooks);
  }
  EXPECT_EQ(t->TaskChecked[4], kTicked);
  EXPECT_EQ(Show(t->PreviousOccurrence[4]), "2020-01-01-09");
  EXPECT_EQ(Show(t->NextOccurrence[4]), kMoreThanOneYear);

  // Recalculating searches every task; one not due keeps its tick.
  RecalculateAll(*t, kNow, hooks);
  EXPECT_EQ(t->TaskChecked[4], kTicked);
  EXPECT_EQ(Show(t->PreviousOccurrence[4]), "2024-05-15-09");
  EXPECT_EQ(Show(t->NextOccurrence[4]), "2024-05-16-09");
  EXPECT_EQ(t->CheckedDate[4], At(2024, 5, 9, 20, 15));
}

TEST(Passes, TaskCountFollowsTheHighestIdInUse) {
  using Pass = void (*)(TaskTable&, DateTime, WindowHooks&);
  const Pass passes[] = {
      [](TaskTable& t, DateTime now, WindowHooks& h) { RefreshDueTasks(t, now, h); },
      RecalculateAll};
  for (Pass pass : passes) {
    auto t = MakeTaskTable();
    RecordingHooks hooks;
    t->TaskCount = 42;
    pass(*t, kNow, hooks);
    EXPECT_EQ(t->TaskCount, 42) << "no slot in use";
    for (int id : {3, 7, kMaxTaskId}) DailyAtNine(*t, id, At(2024, 5, 16, 9));
    pass(*t, kNow, hooks);
    EXPECT_EQ(t->TaskCount, kMaxTaskId);
    t->TaskText[kMaxTaskId].clear();
    pass(*t, kNow, hooks);
    EXPECT_EQ(t->TaskCount, 7);
  }
}

TEST(RefreshDueTasks, AsksForTheWindowOnlyWhenATickedTaskFallsDueWhileMinimised) {
  struct Case {
    const char* what;
    int16_t checked;
    bool minimized;
    DateTime next;
    bool restore;
  };
  const DateTime past = At(2024, 5, 15, 9), future = At(2024, 5, 16, 9);
  const Case cases[] = {
      {"ticked, minimised, due", kTicked, true, past, true},
      {"unticked, minimised, due", 0, true, past, false},
      {"ticked, shown, due", kTicked, false, past, false},
      {"ticked, minimised, not due", kTicked, true, future, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto t = MakeTaskTable();
    RecordingHooks hooks;
    hooks.minimized = c.minimized;
    DailyAtNine(*t, 4, c.next);
    t->TaskChecked[4] = c.checked;
    // An unticked due task before it changes nothing.
    DailyAtNine(*t, 2, past);
    t->TaskChecked[2] = 0;
    EXPECT_EQ(RefreshDueTasks(*t, kNow, hooks), c.restore);
  }
}

TEST(Passes, SwitchTheButtonsOffAndOnAgain) {
  auto t = MakeTaskTable();
  DailyAtNine(*t, 4, At(2024, 5, 10, 9));
  RecordingHooks refresh, recalculate;
  RefreshDueTasks(*t, kNow, refresh);
  RecalculateAll(*t, kNow, recalculate);
  EXPECT_EQ(refresh.buttonCalls, (std::vector<bool>{false, true}));
  EXPECT_EQ(recalculate.buttonCalls, (std::vector<bool>{false, true}));
}

}  // namespace
}  // namespace zelto
