#include "schedule/passes.h"

#include "schedule/occurrences.h"

namespace zelto {
namespace {

// At or after the next occurrence; a field that is not a readable
// date-time counts as due, "More than 1 year" never.
bool IsDue(const Occurrence& next, DateTime now) {
  if (HoldsText(next, kMoreThanOneYear)) return false;
  const auto date = OccurrenceAsDate(next);
  return !date || now >= *date;
}

}  // namespace

bool RefreshDueTasks(TaskTable& table, DateTime now, WindowHooks& hooks) {
  hooks.SetPassButtonsEnabled(false);
  const bool minimized = hooks.IsMinimized();
  bool restore = false;
  for (int id = 0; id <= kMaxTaskId; ++id) {
    if (table.TaskText[id].empty()) continue;
    if (IsDue(table.NextOccurrence[id], now)) {
      if (table.TaskChecked[id] == -1 && minimized) restore = true;
      table.TaskChecked[id] = 0;
      FindOccurrences(table, id, now);
    }
    table.TaskCount = static_cast<int16_t>(id);
  }
  hooks.SetPassButtonsEnabled(true);
  return restore;
}

void RecalculateAll(TaskTable& table, DateTime now, WindowHooks& hooks) {
  hooks.SetPassButtonsEnabled(false);
  for (int id = 0; id <= kMaxTaskId; ++id) {
    if (table.TaskText[id].empty()) continue;
    FindOccurrences(table, id, now);
    if (IsDue(table.NextOccurrence[id], now)) table.TaskChecked[id] = 0;
    table.TaskCount = static_cast<int16_t>(id);
  }
  hooks.SetPassButtonsEnabled(true);
}

}  // namespace zelto
