#include "schedule/passes.h"

#include "schedule/occurrences.h"

namespace zelto {
namespace {

// At or after the next occurrence. An empty field reads as the zero
// date-time and so is long past; a field that is not a readable date-time
// (a marker such as "!!! Error !!!") counts as due; "More than 1 year" is
// never due.
bool IsDue(const Occurrence& next, DateTime now) {
  if (HoldsText(next, kMoreThanOneYear)) return false;
  if (const DateTime* date = next.Date()) return now >= *date;
  const auto date = OccurrenceAsDate(next);
  return !date || now >= *date;
}

constexpr int16_t kTicked = -1;

}  // namespace

RefreshResult RefreshDueTasks(TaskTable& table, DateTime now, bool windowMinimized) {
  RefreshResult result;
  for (int id = 0; id <= kMaxTaskId; ++id) {
    if (table.TaskText[id].empty()) continue;
    if (IsDue(table.NextOccurrence[id], now)) {
      const bool ticked = table.TaskChecked[id] == kTicked;
      if (ticked) result.dueAgain.push_back(id);
      // Only a task the user had ticked brings a hidden window back.
      if (ticked && windowMinimized) result.restore = true;
      // A task whose record was damaged stays as it was, hour after hour.
      const Occurrence previous = table.PreviousOccurrence[id], next = table.NextOccurrence[id];
      table.TaskChecked[id] = 0;
      FindOccurrences(table, id, now);
      result.changed = result.changed || ticked || table.PreviousOccurrence[id] != previous ||
                       table.NextOccurrence[id] != next;
    }
    table.TaskCount = static_cast<int16_t>(id);
  }
  return result;
}

void RecalculateAll(TaskTable& table, DateTime now) {
  for (int id = 0; id <= kMaxTaskId; ++id) {
    if (table.TaskText[id].empty()) continue;
    FindOccurrences(table, id, now);
    // A fresh next occurrence lies after now's hour, so in practice this
    // unticks only tasks whose occurrences cannot be searched.
    if (IsDue(table.NextOccurrence[id], now)) table.TaskChecked[id] = 0;
    table.TaskCount = static_cast<int16_t>(id);
  }
}

}  // namespace zelto
