#pragma once

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

}  // namespace zelto
