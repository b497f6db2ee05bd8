#include "platform/clock.h"

#include <ctime>

namespace zelto {

DateTime SystemClock::Now() const {
  return LocalDateTime(std::time(nullptr));
}

}  // namespace zelto
