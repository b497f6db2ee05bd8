#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "store_test_util.h"

namespace zelto {
namespace {

using test::At;

// Every field of slot `id` made from `n`, so that each field tells the
// tasks apart.
void Distinct(TaskTable& t, int id, int n) {
  t.TaskText.Set(id, "task " + std::to_string(n));
  t.EveryNDays[id] = static_cast<int16_t>(100 + n);
  t.StartDay[id] = static_cast<int16_t>(n + 1);
  t.StartMonth[id] = static_cast<int16_t>(n + 2);
  t.StartYear[id] = static_cast<int16_t>(2000 + n);
  t.TaskChecked[id] = static_cast<int16_t>(n % 2 ? -1 : 0);
  t.CheckedDate[id] = At(2024, 3, n + 1, 8, n);
  t.PreviousOccurrence[id] = At(2024, 1, n + 1);
  t.NextOccurrence[id] = std::string(kMoreThanOneYear) + std::to_string(n);
  t.HourMask[id][n] = 1;
  t.WeekdayMask[id][n % 7] = 1;
  t.DayOfMonthMask[id][n] = 2;
  t.MonthMask[id][n % 12] = 1;
}

TEST(Recount, MovesTheTasksToOneUpwardsInOrderWithAllTheirFields) {
  const struct {
    const char* what;
    std::vector<int> before, after;
  } cases[] = {
      {"gaps", {2, 5, 9}, {1, 2, 3}},
      {"slot 0 stays and is no target", {0, 4, 6}, {0, 1, 2}},
      {"a compact head, then gaps", {1, 2, 7, kMaxTaskId}, {1, 2, 3, 4}},
      {"nothing in use", {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto table = MakeTaskTable();
    auto expected = MakeTaskTable();
    for (int n = 0; n < static_cast<int>(c.before.size()); ++n) {
      Distinct(*table, c.before[n], n);
      Distinct(*expected, c.after[n], n);
    }
    table->TaskCount = 77;
    RecountTasks(*table);
    EXPECT_EQ(test::Dump(*table), test::Dump(*expected));
    EXPECT_EQ(table->TaskCount, 77) << "the next refresh recounts";
    // A slot its task has left is free and keeps the rest of its fields.
    for (int n = 0; n < static_cast<int>(c.before.size()); ++n) {
      const int left = c.before[n];
      if (std::ranges::count(c.after, left)) continue;
      EXPECT_EQ(table->TaskText[left], "") << left;
      EXPECT_EQ(table->EveryNDays[left], 100 + n) << left;
    }
  }
}

}  // namespace
}  // namespace zelto
