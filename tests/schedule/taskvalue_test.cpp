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
    for (int id : c.inUse) table->TaskText.Set(id, "t");
    table->TaskCount = c.count;
    EXPECT_EQ(NewTaskId(*table), c.id);
    EXPECT_EQ(table->TaskCount, c.id);
  }
}

// An id outside the table is stored nowhere and read as nothing.
TEST(StoreTaskValue, AnIdOutsideTheTableIsIgnored) {
  auto table = MakeTaskTable();
  TaskValue value;
  value.Text = "lost";
  for (int outside : {-1, kMaxTaskId + 1}) {
    StoreTaskValue(*table, outside, value, At(2024, 3, 10));
    EXPECT_TRUE(ReadTaskValue(*table, outside).Text.empty());
  }
}

}  // namespace
}  // namespace zelto
