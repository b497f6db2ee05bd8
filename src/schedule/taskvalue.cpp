#include "schedule/taskvalue.h"

#include <algorithm>

#include "schedule/occurrences.h"

namespace zelto {

TaskValue ReadTaskValue(const TaskTable& table, int id) {
  TaskValue value;
  if (!table.TaskText.Valid(id)) return value;
  value.Text = table.TaskText[id];
  value.EveryNDays = table.EveryNDays[id];
  value.StartDay = table.StartDay[id];
  value.StartMonth = table.StartMonth[id];
  value.StartYear = table.StartYear[id];
  value.HourMask = table.HourMask[id];
  value.WeekdayMask = table.WeekdayMask[id];
  value.DayOfMonthMask = table.DayOfMonthMask[id];
  value.MonthMask = table.MonthMask[id];
  return value;
}

void StoreTaskValue(TaskTable& table, int id, const TaskValue& value, DateTime now) {
  if (!table.TaskText.Valid(id)) return;
  table.TaskText.Set(id, value.Text);
  table.EveryNDays[id] = value.EveryNDays;
  table.StartDay[id] = value.StartDay;
  table.StartMonth[id] = value.StartMonth;
  table.StartYear[id] = value.StartYear;
  table.HourMask[id] = value.HourMask;
  table.WeekdayMask[id] = value.WeekdayMask;
  table.DayOfMonthMask[id] = value.DayOfMonthMask;
  table.MonthMask[id] = value.MonthMask;
  table.PreviousOccurrence[id] = std::string(kOkMarker);
  table.NextOccurrence[id] = std::string(kOkMarker);
  FindOccurrences(table, id, now);
}

int16_t NewTaskId(TaskTable& table) {
  int id = table.TaskCount + 1;
  while (id <= kMaxTaskId && table.InUse(id)) ++id;
  table.TaskCount = static_cast<int16_t>(std::min(id, 32767));
  return table.TaskCount;
}

}  // namespace zelto
