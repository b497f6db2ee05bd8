#pragma once

#include <functional>

#include "store/ports.h"

namespace zelto {

// The hour watch behind Timer1: each tick reads the clock, and when the
// hour-of-day number differs from the previous tick's it runs the due-task
// refresh; when that refresh asks for the window back, it brings it back.
// Only the hour number counts, so 23 -> 0 is a change and a jump of whole
// days at the same hour is not.
class HourWatch {
 public:
  // `refresh` runs the due-task refresh and the list rebuild and returns the
  // restore request; `restore` brings the window back in the ToDo view.
  HourWatch(const Clock& clock, std::function<bool()> refresh, std::function<void()> restore);

  // One tick. Returns true when the hour changed (and the refresh ran).
  bool Tick();

  // No hour of the day is 100, so the tick after a reset always refreshes.
  static constexpr int kNoHour = 100;
  void Reset() { CurrentHour = kNoHour; }

  int PreviousHour = kNoHour;
  int CurrentHour = kNoHour;

 private:
  const Clock& clock_;
  std::function<bool()> refresh_;
  std::function<void()> restore_;
};

}  // namespace zelto
