#include "platform/clock.h"

#include <cstdlib>
#include <ctime>

namespace zelto {

DateTime SystemClock::Now() const {
  // For the tests of the built program only: a fixed "yyyy-mm-dd hh:nn".
  static const std::optional<DateTime> fixed = [] {
    const char* text = std::getenv("ZELTO_FIXED_NOW");
    return text != nullptr ? ParseGeneralDate(text) : std::nullopt;
  }();
  return fixed ? *fixed : LocalDateTime(std::time(nullptr));
}

}  // namespace zelto
