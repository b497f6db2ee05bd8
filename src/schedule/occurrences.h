#pragma once

#include <vector>

#include "schedule/taskvalue.h"
#include "store/datetime.h"
#include "store/tasktable.h"

namespace zelto {

// How far each scan looks: 8800 hours, 366 days and 16 hours.
inline constexpr int kSearchHours = 8800;

// Works out the task's previous occurrence (the latest selected hour at or
// before the start of now's hour) and next occurrence (the earliest selected
// hour after it), or "More than 1 year" when none lies within kSearchHours.
// A task whose PreviousOccurrence holds "!!! Error !!!" is left alone.
// Throws std::out_of_range for an id outside the table.
void FindOccurrences(TaskTable& table, int id, DateTime now);

// The first `count` hours after the start of now's hour at which the rule
// falls due, each the next occurrence as seen from the one before it. The
// list ends early where the next one lies beyond kSearchHours: for a rule
// that never falls due it is empty. The task text plays no part.
std::vector<DateTime> NextOccurrences(const TaskValue& rule, DateTime now, int count);

}  // namespace zelto
