#pragma once

#include "store/datetime.h"

namespace zelto {

// The hour watch behind the main window's timer: each tick hands in the
// clock's reading, and the tick says whether the hour-of-day number differs
// from the previous tick's, which is when the due-task refresh runs. Only
// the hour number counts, so 23 -> 0 is a change and a jump of whole days
// at the same hour is not.
class HourWatch {
 public:
  // One tick. True when the hour changed.
  bool Tick(DateTime now);

  // No hour of the day is 100, so the tick after a reset always counts as
  // a change.
  static constexpr int kNoHour = 100;
  void Reset() { CurrentHour = kNoHour; }

  int PreviousHour = kNoHour;
  int CurrentHour = kNoHour;
};

}  // namespace zelto
