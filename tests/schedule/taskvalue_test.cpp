#include <gtest/gtest.h>

#include <vector>

#include "schedule/taskvalue.h"
#include "support/core/fakes.h"

namespace zelto {
namespace {

using test::At;

// TaskCount is a hint that a refresh may have left below an id in use.
TEST(NewTaskId, NextAfterTheCountNeverASlotInUse) {
  const struct {
    int16_t count;
    std::vector<int> inUse;
    int16_t id;
  } cases[] = {
      {5, {1, 2, 3, 4, 5}, 6}, {3, {4, 5, 7}, 6},  {0, {}, 1},
      {9999, {}, 10000},       {10000, {}, 10001}, {9998, {9999, 10000}, 10001},
      {32766, {}, 32767},      {32767, {}, 32767},  // the counter cannot go further
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.count);
    auto table = MakeTaskTable();
    for (int id : c.inUse) table->TaskText[id] = "t";
    table->TaskCount = c.count;
    EXPECT_EQ(NewTaskId(*table), c.id);
    EXPECT_EQ(table->TaskCount, c.id);
  }
}

TEST(StoreTaskValue, RoundTripsAndSearchesAfreshKeepingTheTick) {
  auto table = MakeTaskTable();
  TaskValue value;
  value.Text = "Caf\xe9";
  value.EveryNDays = 2;
  value.StartDay = 28;
  value.StartMonth = 2;
  value.StartYear = 2024;
  for (Mask* mask : {&value.HourMask, &value.WeekdayMask, &value.DayOfMonthMask, &value.MonthMask})
    mask->Fill(1);
  value.HourMask[27] = 5;  // entries beyond the boxes go along unchanged
  table->TaskChecked[4] = -1;
  table->CheckedDate[4] = At(2024, 3, 1, 8);
  table->PreviousOccurrence[4] = std::string(kErrorMarker);  // would stop the search
  table->NextOccurrence[4] = std::string(kErrorMarker);

  StoreTaskValue(*table, 4, value, At(2024, 3, 10, 14, 30));
  const TaskValue back = ReadTaskValue(*table, 4);
  EXPECT_EQ(back.Text, value.Text);
  EXPECT_EQ(back.EveryNDays, 2);
  EXPECT_EQ(back.StartDay, 28);
  EXPECT_EQ(back.HourMask[27], 5);
  EXPECT_EQ(table->PreviousOccurrence[4], Occurrence(At(2024, 3, 9, 23)));
  EXPECT_EQ(table->NextOccurrence[4], Occurrence(At(2024, 3, 11, 0)));  // every 2nd day from 28.2.
  EXPECT_EQ(table->TaskChecked[4], -1);
  EXPECT_EQ(table->CheckedDate[4], At(2024, 3, 1, 8));

  for (int outside : {-1, kMaxTaskId + 1}) {
    StoreTaskValue(*table, outside, value, At(2024, 3, 10));  // no slot: nothing happens
    EXPECT_TRUE(ReadTaskValue(*table, outside).Text.empty());
  }
}

}  // namespace
}  // namespace zelto
