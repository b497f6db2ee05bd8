#include <gtest/gtest.h>

#include "schedule/hourwatch.h"
#include "support/core/fakes.h"

namespace zelto {
namespace {

using test::At;

TEST(HourWatch, ChangesOnlyWhenTheHourNumberChanges) {
  HourWatch watch;
  const struct {
    int64_t advanceSeconds;
    bool change;
    const char* why;
  } steps[] = {
      {0, true, "the start-up tick always counts"},
      {1, false, "same hour"},
      {1, true, "23 -> 0 is a change"},
      {1800, false, "half an hour later"},
      {1800, true, "0 -> 1"},
      {86400, false, "a whole day later, same hour"},
      {-3 * 86400, false, "the clock set back by days, same hour"},
      {-3600, true, "the clock set back an hour"},
  };
  DateTime now = At(2024, 3, 10, 23, 59, 58);
  int previous = HourWatch::kNoHour;
  for (const auto& step : steps) {
    SCOPED_TRACE(step.why);
    now = DateTime::FromSeconds(now.Seconds() + step.advanceSeconds);
    EXPECT_EQ(watch.Tick(now), step.change);
    EXPECT_EQ(watch.PreviousHour, previous);
    EXPECT_EQ(watch.CurrentHour, now.Hour());
    previous = now.Hour();
  }
  watch.Reset();
  EXPECT_TRUE(watch.Tick(now)) << "the first tick after a reset counts";
}

}  // namespace
}  // namespace zelto
