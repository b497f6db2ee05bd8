#include <gtest/gtest.h>

#include <string>

#include "rules.h"
#include "schedule/occurrences.h"
#include "support/core/fakes.h"
#include "support/core/oracle.h"

namespace zelto {
namespace {

using test::At;
using test::Show;

// Rules whose only passing day within a year either way is the target's
// day: once through the calendar (that month, day and weekday meet again
// only years later), once through an each-n-days rule with a huge interval.
enum class Isolation { Calendar, EachNDays };

void IsolateDay(TaskTable& t, int id, DateTime target, Isolation how) {
  int y, m, d;
  target.YearMonthDay(y, m, d);
  t.TaskText[id] = "edge";
  t.HourMask[id].Fill(0);
  t.WeekdayMask[id].Fill(1);
  t.DayOfMonthMask[id].Fill(1);
  t.MonthMask[id].Fill(1);
  t.EveryNDays[id] = 0;
  if (how == Isolation::Calendar) {
    t.WeekdayMask[id].Fill(0);
    t.DayOfMonthMask[id].Fill(0);
    t.MonthMask[id].Fill(0);
    t.WeekdayMask[id][target.Weekday() - 1] = 1;
    t.DayOfMonthMask[id][d - 1] = 1;
    t.MonthMask[id][m - 1] = 1;
  } else {
    t.EveryNDays[id] = -30000;
    t.StartYear[id] = static_cast<int16_t>(y);
    t.StartMonth[id] = static_cast<int16_t>(m);
    t.StartDay[id] = static_cast<int16_t>(d);
  }
}

// Both searches, checked against each other and against what the hour-by-
// hour definition says by hand.
void Check(TaskTable& fast, TaskTable& slow, DateTime now, const std::string& previous,
           const std::string& next, const std::string& what) {
  SCOPED_TRACE(what + " now " + FormatFileDate(now));
  slow.HourMask[1] = fast.HourMask[1];
  slow.WeekdayMask[1] = fast.WeekdayMask[1];
  slow.DayOfMonthMask[1] = fast.DayOfMonthMask[1];
  slow.MonthMask[1] = fast.MonthMask[1];
  slow.EveryNDays[1] = fast.EveryNDays[1];
  slow.StartYear[1] = fast.StartYear[1];
  slow.StartMonth[1] = fast.StartMonth[1];
  slow.StartDay[1] = fast.StartDay[1];
  FindOccurrences(fast, 1, now);
  test::FindOccurrencesOracle(slow, 1, now);
  EXPECT_EQ(Show(fast.PreviousOccurrence[1]), Show(slow.PreviousOccurrence[1]));
  EXPECT_EQ(Show(fast.NextOccurrence[1]), Show(slow.NextOccurrence[1]));
  if (!previous.empty()) {
    EXPECT_EQ(Show(slow.PreviousOccurrence[1]), previous);
  }
  if (!next.empty()) {
    EXPECT_EQ(Show(slow.NextOccurrence[1]), next);
  }
}

// The only passing hour lies 8799, 8800 or 8801 hours before or after the
// start of now's hour, from every hour of the day (the window's ends fall at
// a different hour of their day each time) and at several points of the
// calendar, leap days included.
TEST(OccurrenceSearch, TheWindowEndsExactlyEightThousandEightHundredHoursAway) {
  auto fast = MakeTaskTable();
  auto slow = MakeTaskTable();
  const std::string more(kMoreThanOneYear);
  for (DateTime day :
       {At(2024, 2, 29), At(2025, 3, 1), At(2023, 12, 31), At(1900, 3, 1), At(2100, 2, 28)}) {
    for (int hour = 0; hour < 24; ++hour) {
      const DateTime base = day.AddHours(hour);
      for (int k : {8799, 8800, 8801}) {
        for (int direction : {-1, 1}) {
          const DateTime target = base.AddHours(direction * k);
          const std::string hit = k <= kSearchHours ? FormatFileDate(target) : more;
          const std::string expectPrevious = direction < 0 ? hit : more;
          const std::string expectNext = direction > 0 ? hit : more;
          // The next hour outwards on the same day must not change anything.
          const int outward = target.Hour() + direction;
          for (Isolation how : {Isolation::Calendar, Isolation::EachNDays}) {
            const std::string what = "target " + FormatFileDate(target) +
                                     (how == Isolation::Calendar ? " by calendar" : " by interval");
            IsolateDay(*fast, 1, target, how);
            fast->HourMask[1][target.Hour()] = 1;
            // Any moment of now's hour searches from its start.
            for (DateTime now : {base, DateTime::FromSeconds(base.Seconds() + 3599)}) {
              Check(*fast, *slow, now, expectPrevious, expectNext, what);
            }
            if (outward >= 0 && outward < 24) {
              fast->HourMask[1][outward] = 1;
              Check(*fast, *slow, base, expectPrevious, expectNext, what + " +outward hour");
            }
            // Every hour: the edge day is only partly inside the window.
            fast->HourMask[1].Fill(1);
            Check(*fast, *slow, base, "", "", what + " all hours");
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace zelto
