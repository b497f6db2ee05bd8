#include <gtest/gtest.h>

#include "mainwindow/hourwatch.h"
#include "support/core/fakes.h"

namespace zelto {
namespace {

using test::At;

TEST(HourWatch, RefreshesOnlyWhenTheHourNumberChanges) {
  test::FakeClock clock(At(2024, 3, 10, 23, 59, 58));
  int refreshes = 0;
  HourWatch watch(clock, [&] { return ++refreshes, false; }, {});

  const struct {
    int64_t advanceSeconds;
    bool refresh;
    const char* why;
  } steps[] = {
      {0, true, "the start-up tick always refreshes"},
      {1, false, "same hour"},
      {1, true, "23 -> 0 is a change"},
      {1800, false, "half an hour later"},
      {1800, true, "0 -> 1"},
      {86400, false, "a whole day later, same hour"},
      {7 * 86400, false, "a week later, same hour"},
      {-3 * 86400, false, "the clock set back by days, same hour"},
      {-3600, true, "the clock set back an hour"},
      {86400 + 3600, true, "a day and an hour"},
  };
  DateTime now = clock.Now();
  for (const auto& step : steps) {
    SCOPED_TRACE(step.why);
    now = DateTime::FromSeconds(now.Seconds() + step.advanceSeconds);
    clock.Set(now);
    const int before = refreshes;
    EXPECT_EQ(watch.Tick(), step.refresh);
    EXPECT_EQ(refreshes - before, step.refresh ? 1 : 0);
    EXPECT_EQ(watch.CurrentHour, now.Hour());
  }
}

}  // namespace
}  // namespace zelto
