#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "rules.h"
#include "schedule/occurrences.h"
#include "support/core/fakes.h"
#include "support/core/oracle.h"

namespace zelto {
namespace {

using test::At;
using test::RuleText;
using test::Show;
using test::WriteRule;

using Search = void (*)(TaskTable&, int, DateTime);

struct Implementation {
  const char* name;
  Search search;
};
const Implementation kBoth[] = {{"fast", FindOccurrences}, {"oracle", test::FindOccurrencesOracle}};

const char* const kMore = "More than 1 year";

struct Case {
  const char* what;
  RuleText rule;
  DateTime now;
  const char* previous;  // "yyyy-mm-dd-hh" or a marker
  const char* next;
};

// 2024-01-15 was a Monday, 2024-05-15 a Wednesday.
// clang-format off
const Case kCases[] = {
  {"every hour", {.everyNDays = 1}, At(2024, 5, 15, 10, 59, 59), "2024-05-15-10", "2024-05-15-11"},
  {"hour 9 at 09:30", {.hours = "9"}, At(2024, 5, 15, 9, 30), "2024-05-15-09", "2024-05-16-09"},
  {"hour 9 at 08:59", {.hours = "9"}, At(2024, 5, 15, 8, 59), "2024-05-14-09", "2024-05-15-09"},
  {"no hour", {.hours = ""}, At(2024, 5, 15, 9), kMore, kMore},
  {"no weekday", {.weekdays = ""}, At(2024, 5, 15, 9), kMore, kMore},
  {"31st of April", {.days = "31", .months = "4"}, At(2024, 5, 15), kMore, kMore},
  {"31st of April or June", {.days = "31", .months = "4,6"}, At(2024, 5, 15), kMore, kMore},
  {"leap day, next one too far", {.hours = "0", .days = "29", .months = "2"}, At(2024, 3, 1), "2024-02-29-00", kMore},
  {"leap day ahead", {.hours = "0", .days = "29", .months = "2"}, At(2027, 6, 1), kMore, "2028-02-29-00"},
  // A plain month-and-day rule recurs within 366 days; these three do not.
  {"leap day 366 d 20 h ago", {.hours = "10", .days = "29", .months = "2"}, At(2025, 3, 2, 6), kMore, kMore},
  {"leap day 366 d 16 h ago", {.hours = "10", .days = "29", .months = "2"}, At(2025, 3, 2, 2, 59), "2024-02-29-10", kMore},
  {"Monday 15 January 366 d 20 h ago", {.hours = "10", .weekdays = "2", .days = "15", .months = "1"}, At(2025, 1, 16, 6), kMore, kMore},
  {"every 400 days 366 d 20 h ago", {.hours = "10", .everyNDays = 400, .startYear = 2024, .startMonth = 1, .startDay = 15}, At(2025, 1, 16, 6), kMore, "2025-02-18-10"},
  {"every 3 days from two days ahead", {.everyNDays = 3, .startYear = 2024, .startMonth = 5, .startDay = 17}, At(2024, 5, 15, 12), "2024-05-14-23", "2024-05-17-00"},
  {"every -3 days from two days ahead", {.hours = "12", .everyNDays = -3, .startYear = 2024, .startMonth = 5, .startDay = 17}, At(2024, 5, 15, 12, 30), "2024-05-14-12", "2024-05-17-12"},
  {"every 7 days on the wrong weekday", {.weekdays = "2", .everyNDays = 7, .startYear = 2024, .startMonth = 5, .startDay = 15}, At(2024, 5, 15, 12), kMore, kMore},
  {"interval 0, start out of range", {.everyNDays = 0, .startYear = -32768, .startMonth = 40, .startDay = 32767}, At(2024, 5, 15, 12, 30), "2024-05-15-12", "2024-05-15-13"},
  {"interval -32768: the start day alone", {.hours = "12", .everyNDays = -32768, .startYear = 2021, .startMonth = 40, .startDay = 40}, At(2024, 5, 15, 12, 30), "2024-05-10-12", kMore},
  {"interval 32767, start month -30", {.hours = "12", .everyNDays = 32767, .startYear = 2027, .startMonth = -30, .startDay = 1}, At(2024, 5, 15, 12, 30), kMore, "2024-06-01-12"},
  {"start day -32768 rolls back 90 years", {.hours = "12", .everyNDays = 5, .startYear = 2100, .startMonth = 1, .startDay = -32768}, At(2024, 5, 15, 12, 30), "2024-05-15-12", "2024-05-20-12"},
  // Years are literal: 99-13-01 is 0100-01-01; 99-12-31 and 9999-13-01 cannot be formed.
  {"start 0099-13-01 is in range", {.hours = "12", .everyNDays = 2, .startYear = 99, .startMonth = 13, .startDay = 1}, At(2024, 5, 15, 12, 30), "2024-05-14-12", "2024-05-16-12"},
  {"start 0099-12-31 is out of range", {.hours = "12", .everyNDays = 2, .startYear = 99, .startMonth = 12, .startDay = 31}, At(2024, 5, 15, 12, 30), "2024-05-15-12", "2024-05-16-12"},
  {"start in the year 10000", {.hours = "12", .everyNDays = 2, .startYear = 9999, .startMonth = 13, .startDay = 1}, At(2024, 5, 15, 12, 30), "2024-05-15-12", "2024-05-16-12"},
};
// clang-format on

TEST(OccurrenceSearch, FindsWhatTheRuleSays) {
  for (const Case& c : kCases) {
    for (const Implementation& impl : kBoth) {
      SCOPED_TRACE(std::string(c.what) + " (" + impl.name + ")");
      auto t = MakeTaskTable();
      WriteRule(*t, 5, c.rule);
      impl.search(*t, 5, c.now);
      EXPECT_EQ(Show(t->PreviousOccurrence[5]), c.previous);
      EXPECT_EQ(Show(t->NextOccurrence[5]), c.next);
    }
  }
}

// 15 May at 09:00 unless a Thursday. Each junk entry, if it selected, would
// give an hour nearer to 2024-05-15 10:30: 10:00 that day, Friday the
// 17th, 15 June, or Thursday 15 May 2025.
TEST(OccurrenceSearch, OnlyAnEntryOfExactlyOneSelects) {
  for (const Implementation& impl : kBoth) {
    for (int16_t junk : {2, -1, 3, 257, -255, 32513, -32767}) {
      SCOPED_TRACE(std::string(impl.name) + " entry " + std::to_string(junk));
      auto t = MakeTaskTable();
      WriteRule(*t, 5, {.hours = "9", .weekdays = "1,2,3,4,6,7", .days = "15", .months = "5"});
      t->HourMask[5][10] = junk;
      t->DayOfMonthMask[5][16] = junk;
      t->MonthMask[5][5] = junk;
      t->WeekdayMask[5][4] = junk;
      for (int k = 24; k < kMaskSize; ++k) t->HourMask[5][k] = 1;  // never read
      impl.search(*t, 5, At(2024, 5, 15, 10, 30));
      EXPECT_EQ(Show(t->PreviousOccurrence[5]), "2024-05-15-09");
      EXPECT_EQ(Show(t->NextOccurrence[5]), kMore);
    }
  }
}

TEST(OccurrenceSearch, OnlyAnErrorMarkerInPreviousOccurrenceStopsTheSearch) {
  struct MarkerCase {
    const char* previous;
    const char* next;
    const char* expectPrevious;
    const char* expectNext;
  };
  const MarkerCase cases[] = {
      {"!!! Error !!!", "!!! Error !!!", "!!! Error !!!", "!!! Error !!!"},
      {"!!! Error !!!", "ok", "!!! Error !!!", "ok"},
      {"ok", "!!! Error !!!", "2024-05-15-09", "2024-05-16-09"},
      {"More than 1 year", "More than 1 year", "2024-05-15-09", "2024-05-16-09"},
      {"!!! error !!!", "ok", "2024-05-15-09", "2024-05-16-09"},
  };
  for (const Implementation& impl : kBoth) {
    for (const MarkerCase& c : cases) {
      SCOPED_TRACE(std::string(impl.name) + " " + c.previous + " / " + c.next);
      auto t = MakeTaskTable();
      WriteRule(*t, 5, {.hours = "9"});
      t->PreviousOccurrence[5] = std::string(c.previous);
      t->NextOccurrence[5] = std::string(c.next);
      impl.search(*t, 5, At(2024, 5, 15, 10, 30));
      EXPECT_EQ(Show(t->PreviousOccurrence[5]), c.expectPrevious);
      EXPECT_EQ(Show(t->NextOccurrence[5]), c.expectNext);
    }
  }
}

// The clock jumped from 02:00 to 03:00 that night, but the search steps
// naive hours, so 02:00 still exists.
TEST(OccurrenceSearch, ASkippedDaylightSavingHourStillCounts) {
  const char* old = std::getenv("TZ");
  const std::string saved = old ? old : "";
  setenv("TZ", "Europe/Berlin", 1);
  tzset();
  std::tm utc{};
  utc.tm_year = 2024 - 1900;
  utc.tm_mon = 2;
  utc.tm_mday = 31;
  utc.tm_hour = 1;
  utc.tm_min = 30;
  const DateTime now = LocalDateTime(timegm(&utc));
  if (old) {
    setenv("TZ", saved.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();

  EXPECT_EQ(now, At(2024, 3, 31, 3, 30));
  for (const Implementation& impl : kBoth) {
    SCOPED_TRACE(impl.name);
    auto t = MakeTaskTable();
    WriteRule(*t, 5, {.hours = "2"});
    impl.search(*t, 5, now);
    EXPECT_EQ(Show(t->PreviousOccurrence[5]), "2024-03-31-02");
    EXPECT_EQ(Show(t->NextOccurrence[5]), "2024-04-01-02");
  }
}

}  // namespace
}  // namespace zelto
