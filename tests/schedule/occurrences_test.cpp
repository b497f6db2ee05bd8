#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "rules.h"
#include "schedule/occurrences.h"
#include "schedule/taskvalue.h"
#include "support/core/fakes.h"
#include "support/core/oracle.h"

namespace zelto {
namespace {

using test::At;

// Every hand-worked answer holds for the fast search and for the oracle.
const struct {
  const char* name;
  void (*search)(TaskTable&, int, DateTime);
} kBoth[] = {{"fast", FindOccurrences}, {"oracle", test::FindOccurrencesOracle}};

const char* const kMore = "More than 1 year";
const char* const kError = "!!! Error !!!";

struct Case {
  const char* what;
  test::RuleText rule;
  DateTime now;
  const char* previous;  // "yyyy-mm-dd-hh" or a marker
  const char* next;
  const char* previousBefore = "ok";  // the fields before the search
  const char* nextBefore = "ok";
};

// 2024-01-15 was a Monday, 2024-05-15 a Wednesday.
// clang-format off
const Case kCases[] = {
  {"every hour", {.everyNDays = 1}, At(2024, 5, 15, 10, 59, 59), "2024-05-15-10", "2024-05-15-11"},
  {"hour 9 at 09:30", {.hours = "9"}, At(2024, 5, 15, 9, 30), "2024-05-15-09", "2024-05-16-09"},
  {"hour 9 at 08:59", {.hours = "9"}, At(2024, 5, 15, 8, 59), "2024-05-14-09", "2024-05-15-09"},
  {"no hour", {.hours = ""}, At(2024, 5, 15, 9), kMore, kMore},
  {"31st of April", {.days = "31", .months = "4"}, At(2024, 5, 15), kMore, kMore},
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
  // Years are literal: 99-13-01 is 0100-01-01; 99-12-31 cannot be formed.
  {"start 0099-13-01 is in range", {.hours = "12", .everyNDays = 2, .startYear = 99, .startMonth = 13, .startDay = 1}, At(2024, 5, 15, 12, 30), "2024-05-14-12", "2024-05-16-12"},
  {"start 0099-12-31 is out of range", {.hours = "12", .everyNDays = 2, .startYear = 99, .startMonth = 12, .startDay = 31}, At(2024, 5, 15, 12, 30), "2024-05-15-12", "2024-05-16-12"},
  // Only an entry of exactly 1 selects (257 shares its low byte): else a nearer hour.
  {"unselected entries hold 257", {.hours = "9", .weekdays = "1,2,3,4,6,7", .days = "15", .months = "5", .unselected = 257}, At(2024, 5, 15, 10, 30), "2024-05-15-09", kMore},
  // Only an exact "!!! Error !!!" in the previous occurrence stops the search.
  {"error marker in both", {.hours = "9"}, At(2024, 5, 15, 10), kError, kError, kError, kError},
  {"error marker in previous", {.hours = "9"}, At(2024, 5, 15, 10), kError, "ok", kError, "ok"},
  {"error marker in next", {.hours = "9"}, At(2024, 5, 15, 10), "2024-05-15-09", "2024-05-16-09", "ok", kError},
  {"lower-case error marker", {.hours = "9"}, At(2024, 5, 15, 10), "2024-05-15-09", "2024-05-16-09", "!!! error !!!"},
};
// clang-format on

TEST(OccurrenceSearch, FindsWhatTheRuleSays) {
  for (const Case& c : kCases) {
    for (const auto& impl : kBoth) {
      SCOPED_TRACE(std::string(c.what) + " (" + impl.name + ")");
      auto t = MakeTaskTable();
      test::WriteRule(*t, 5, c.rule);
      t->PreviousOccurrence[5] = std::string(c.previousBefore);
      t->NextOccurrence[5] = std::string(c.nextBefore);
      impl.search(*t, 5, c.now);
      EXPECT_EQ(test::Occurrences(*t, 5), std::string(c.previous) + " / " + c.next);
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
  const DateTime now = LocalDateTime(1711848600);  // 2024-03-31 01:30 UTC
  EXPECT_EQ(now, At(2024, 3, 31, 3, 30));
  for (const auto& impl : kBoth) {
    auto t = MakeTaskTable();
    test::WriteRule(*t, 5, {.hours = "2"});
    impl.search(*t, 5, now);
    EXPECT_EQ(test::Occurrences(*t, 5), "2024-03-31-02 / 2024-04-01-02") << impl.name;
  }
  old ? setenv("TZ", saved.c_str(), 1) : unsetenv("TZ");
  tzset();
}

// Runs the fast search, then the oracle, on one slot; both write only its
// occurrence fields, and the oracle's answer stays there. Empty when they
// agree, else both answers.
std::string Disagreement(TaskTable& t, int id, DateTime now) {
  FindOccurrences(t, id, now);
  const Occurrence previous = t.PreviousOccurrence[id], next = t.NextOccurrence[id];
  const std::string fast = test::Occurrences(t, id);
  test::FindOccurrencesOracle(t, id, now);
  if (previous == t.PreviousOccurrence[id] && next == t.NextOccurrence[id]) return "";
  return "task " + std::to_string(id) + " at " + FormatFileDate(now) + ":" +
         std::to_string(now.Minute()) + ": fast " + fast + ", oracle " + test::Occurrences(t, id);
}

// Values that must not select, some of them sharing a byte with 1.
constexpr int16_t kJunk[] = {0, 2, -1, 3, 257, -255, 0x7F01, 32767, -32768};

class RuleMaker {
 public:
  explicit RuleMaker(uint64_t seed) : rng_(seed) {}

  int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
  bool Chance(double p) { return std::bernoulli_distribution(p)(rng_); }
  template <typename T, size_t N>
  T OneOf(const T (&values)[N]) {
    return values[Pick(0, N - 1)];
  }

  // Mostly rules due within weeks, a fifth sparse, one in twenty anything;
  // the oracle pays per hour scanned, so rare rules mostly get one hour.
  void Rule(TaskTable& t, int id) {
    const int kind = Pick(0, 19);  // 0..14 common, 15..18 sparse, 19 anything
    double p[4];                   // chance of a 1: weekdays, days, months, hours
    for (double& v : p) v = kind < 19 ? OneOf({1.0, 1.0, 0.8, 0.5}) : OneOf({1.0, 0.4, 0.12, 0.0});
    if (kind >= 15 && kind < 19) {
      p[Pick(0, 2)] = Chance(0.5) ? 0.12 : 0.0;
      if (Chance(0.3)) p[Pick(0, 2)] = 0.0;
    }
    if (kind >= 15 && Chance(kind < 19 ? 0.75 : 0.85)) p[3] = 0.0;
    const bool mayBeEmpty = kind == 19 && Chance(0.2);
    t.TaskText.Set(id, "random");
    Fill(t.WeekdayMask[id], 7, p[0], mayBeEmpty);
    Fill(t.DayOfMonthMask[id], 31, p[1], mayBeEmpty);
    Fill(t.MonthMask[id], 12, p[2], mayBeEmpty);
    Fill(t.HourMask[id], 24, p[3], mayBeEmpty);
    t.EveryNDays[id] = Interval(kind < 15 ? 40 : kind < 19 ? 400 : 32767);
    const bool odd = Chance(0.3);  // a start date only a damaged file holds
    t.StartYear[id] = static_cast<int16_t>(
        odd && Chance(0.5) ? OneOf({0, 1, 50, 99, 100, -1, 9999, 10000, 32767, -32768})
                           : Pick(1890, 2110));
    t.StartMonth[id] = static_cast<int16_t>(odd && Chance(0.5) ? Pick(-30, 40) : Pick(1, 12));
    t.StartDay[id] = static_cast<int16_t>(!odd          ? Pick(1, 31)
                                          : Chance(0.5) ? OneOf({-32768, 32767, 0, -1, 400})
                                                        : Pick(-100, 100));
  }

  // Any moment of the years 1900..2100.
  DateTime Now() {
    return DateTime::FromSeconds(At(1900, 1, 1).AddDays(Pick(0, 73413)).Seconds() + Pick(0, 86399));
  }

 private:
  // p: the chance that an entry the search reads is 1; the others are 0 or
  // junk. Entries it never reads get anything, 1 included.
  void Fill(MaskColumn::Ref mask, int read, double p, bool mayBeEmpty) {
    const double junk = Chance(0.3) ? 0.3 : 0.0;
    for (int k = 0; k < kMaskSize; ++k) {
      const bool one = Chance(k < read ? p : 0.5);
      mask[k] = one ? 1 : k >= read || Chance(junk) ? OneOf(kJunk) : 0;
    }
    if (!mayBeEmpty) mask[Pick(0, read - 1)] = 1;
  }

  // Mostly none or short, never longer than `longest`; when that is over
  // 400, the extremes and any 16-bit value too.
  int16_t Interval(int longest) {
    const int sign = Chance(0.2) ? -1 : 1, pick = Pick(0, 19);
    if (pick < 9) return 0;
    if (pick < 11) return static_cast<int16_t>(sign);
    if (pick < 17) return static_cast<int16_t>(sign * Pick(2, 10));
    if (pick < 19 || longest <= 40) return static_cast<int16_t>(sign * Pick(11, 40));
    if (longest <= 400 || Chance(0.5)) return static_cast<int16_t>(sign * Pick(41, longest));
    if (Chance(0.5)) return static_cast<int16_t>(Pick(-32768, 32767));
    return OneOf<int16_t>({-32768, 32767, -32767, 365, 366, 367, 731, 1000});
  }

  std::mt19937_64 rng_;
};

TEST(OccurrenceSearch, AgreesWithTheOracleOnRandomRules) {
  const char* text = std::getenv("ZELTO_SCHEDULE_SEED");
  const uint64_t seed = text ? std::strtoull(text, nullptr, 10) : 20240331;
  SCOPED_TRACE("seed " + std::to_string(seed) + " (set ZELTO_SCHEDULE_SEED to repeat)");
  RuleMaker make(seed);
  auto t = MakeTaskTable();
  for (int i = 0; i < 200000 && !HasFailure(); ++i) {
    const int id = make.Pick(0, kMaxTaskId);
    make.Rule(*t, id);
    // Fields left over from the last search must not matter.
    if (make.Chance(0.1)) t->PreviousOccurrence[id] = std::string(kMoreThanOneYear);
    EXPECT_EQ(Disagreement(*t, id, make.Now()), "");
  }
}

// The only passing hour lies 8799, 8800 or 8801 hours either side of now's
// hour, from every hour of several days (leap days too): the edge days are
// only partly inside the window.
TEST(OccurrenceSearch, TheWindowEndsExactlyEightThousandEightHundredHoursAway) {
  auto t = MakeTaskTable();
  const std::string more(kMoreThanOneYear);
  const DateTime kDays[] = {At(2024, 2, 29), At(2025, 3, 1), At(2023, 12, 31), At(1900, 3, 1),
                            At(2100, 2, 28)};
  for (int h = 0; h < 5 * 24; ++h) {
    const DateTime base = kDays[h / 24].AddHours(h % 24);
    for (int k : {-8801, -8800, -8799, 8799, 8800, 8801}) {
      const DateTime target = base.AddHours(k);
      SCOPED_TRACE("target " + FormatFileDate(target));
      const std::string hit = std::abs(k) <= kSearchHours ? FormatFileDate(target) : more;
      const std::string expected = k < 0 ? hit + " / " + more : more + " / " + hit;
      int y, m, d;
      target.YearMonthDay(y, m, d);
      const std::string weekday = std::to_string(target.Weekday()), day = std::to_string(d),
                        month = std::to_string(m);
      // The target's hour, and the next one outwards on the same day if any.
      const std::string hours = std::to_string(target.Hour()) + "," +
                                std::to_string(std::clamp(target.Hour() + (k < 0 ? -1 : 1), 0, 23));
      // Only the target's day passes within a year: by the calendar, or by a
      // huge interval over every day or the target's month only (each takes
      // another way through the search).
      const test::RuleText every{
          .hours = hours, .everyNDays = -30000, .startYear = y, .startMonth = m, .startDay = d};
      test::RuleText inMonth = every;
      inMonth.months = month;
      for (test::RuleText rule :
           {test::RuleText{.hours = hours, .weekdays = weekday, .days = day, .months = month},
            every, inMonth}) {
        test::WriteRule(*t, 1, rule);
        // Any moment of now's hour searches from its start.
        for (DateTime now : {base, DateTime::FromSeconds(base.Seconds() + 3599)}) {
          EXPECT_EQ(Disagreement(*t, 1, now), "");
          EXPECT_EQ(test::Occurrences(*t, 1), expected)
              << (rule.everyNDays ? "by interval in months " : "by calendar in ") << rule.months;
        }
        rule.hours = "*";
        test::WriteRule(*t, 1, rule);
        EXPECT_EQ(Disagreement(*t, 1, base), "");
      }
    }
  }
}

std::string Shown(const std::vector<DateTime>& hours) {
  std::string text;
  for (const DateTime& hour : hours) text += (text.empty() ? "" : " ") + FormatFileDate(hour);
  return text;
}

TaskValue ValueOf(const test::RuleText& rule) {
  auto t = MakeTaskTable();
  test::WriteRule(*t, 1, rule);
  return ReadTaskValue(*t, 1);
}

TEST(NextOccurrences, ListsTheComingHoursUntilOneIsOutOfReach) {
  // 2024-05-17 was a Friday.
  // clang-format off
  const struct {
    const char* what;
    test::RuleText rule;
    DateTime now;
    int count;
    const char* hours;
  } cases[] = {
    {"every hour", {.everyNDays = 1}, At(2024, 5, 15, 10, 59, 59), 5, "2024-05-15-11 2024-05-15-12 2024-05-15-13 2024-05-15-14 2024-05-15-15"},
    {"past midnight and the month", {.hours = "8,20"}, At(2024, 5, 31, 8, 10), 4, "2024-05-31-20 2024-06-01-08 2024-06-01-20 2024-06-02-08"},
    {"workdays over a weekend", {.hours = "9", .weekdays = "2,3,4,5,6"}, At(2024, 5, 17, 9), 3, "2024-05-20-09 2024-05-21-09 2024-05-22-09"},
    {"every 3 days, phase before the start", {.hours = "7", .everyNDays = 3, .startYear = 2024, .startMonth = 5, .startDay = 20}, At(2024, 5, 15), 3, "2024-05-17-07 2024-05-20-07 2024-05-23-07"},
    {"leap day too far", {.hours = "0", .days = "29", .months = "2"}, At(2024, 3, 1), 5, ""},
    // Each later one is looked for from the one before: a year's reach again.
    {"leap day, then four years", {.hours = "0", .days = "29", .months = "2"}, At(2027, 6, 1), 5, "2028-02-29-00"},
    {"yearly", {.hours = "12", .days = "15", .months = "3"}, At(2024, 3, 15, 12), 3, "2025-03-15-12 2026-03-15-12 2027-03-15-12"},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Shown(NextOccurrences(ValueOf(c.rule), c.now, c.count)), c.hours);
  }
}

}  // namespace
}  // namespace zelto
