#pragma once

#include <vector>

#include "store/datetime.h"
#include "store/tasktable.h"

namespace zelto {

struct RefreshResult {
  // A ticked task fell due while the window was minimised (the RestoreRequest).
  bool restore = false;
  // Some task's tick or occurrences differ from before: there is news to save.
  bool changed = false;
  // The ticked tasks that fell due again, by id.
  std::vector<int> dueAgain;
};

// The hourly roll-over: every task in use whose NextOccurrence has arrived
// (or cannot be read as a date-time, "More than 1 year" excepted) is
// unticked and searched again. TaskCount follows the highest id in use.
// The caller switches the pass buttons around the call and rebuilds the list
// afterwards.
RefreshResult RefreshDueTasks(TaskTable& table, DateTime now, bool windowMinimized);

// Searches every task in use again; unticks only the tasks whose fresh
// NextOccurrence is already due or unreadable.
void RecalculateAll(TaskTable& table, DateTime now);

}  // namespace zelto
