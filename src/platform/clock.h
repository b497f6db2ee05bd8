#pragma once

#include "store/ports.h"

namespace zelto {

// The local wall clock, read as naive calendar values so that nothing
// downstream ever does time-zone arithmetic.
class SystemClock : public Clock {
 public:
  DateTime Now() const override;
};

}  // namespace zelto
