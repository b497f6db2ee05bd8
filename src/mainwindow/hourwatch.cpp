#include "mainwindow/hourwatch.h"

#include <utility>

namespace zelto {

HourWatch::HourWatch(const Clock& clock, std::function<bool()> refresh,
                     std::function<void()> restore)
    : clock_(clock), refresh_(std::move(refresh)), restore_(std::move(restore)) {}

bool HourWatch::Tick() {
  PreviousHour = CurrentHour;
  CurrentHour = clock_.Now().Hour();
  if (CurrentHour == PreviousHour) return false;
  if (refresh_ && refresh_() && restore_) restore_();
  return true;
}

}  // namespace zelto
