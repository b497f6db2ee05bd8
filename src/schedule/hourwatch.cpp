#include "schedule/hourwatch.h"

namespace zelto {

bool HourWatch::Tick(DateTime now) {
  PreviousHour = CurrentHour;
  CurrentHour = now.Hour();
  return CurrentHour != PreviousHour;
}

}  // namespace zelto
