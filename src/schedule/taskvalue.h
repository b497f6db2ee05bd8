#pragma once

#include <cstdint>
#include <string>

#include "store/tasktable.h"

namespace zelto {

// One task's text and rule, apart from the table: what the editor is given
// and gives back. The text is bytes, as the table keeps it.
struct TaskValue {
  std::string Text;
  int16_t EveryNDays = 0;
  int16_t StartDay = 0;
  int16_t StartMonth = 0;
  int16_t StartYear = 0;
  Mask HourMask;
  Mask WeekdayMask;
  Mask DayOfMonthMask;
  Mask MonthMask;
};

// Slot `id` as a value; an id outside the table gives an empty value.
TaskValue ReadTaskValue(const TaskTable& table, int id);

// Stores the value in slot `id` and searches its occurrences afresh: both
// are set to "ok" first, which also clears an "!!! Error !!!" marker that
// would make the search skip the task. The tick and its date stay. An id
// outside the table stores nothing.
void StoreTaskValue(TaskTable& table, int id, const TaskValue& value, DateTime now);

// The id for a new task: TaskCount + 1, moved past any slot in use, and
// TaskCount set to it. TaskCount is only a hint: a refresh may have counted
// below an id saved since. Above 10000 the id has no slot.
int16_t NewTaskId(TaskTable& table);

}  // namespace zelto
