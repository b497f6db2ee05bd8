#include <gtest/gtest.h>

#include <array>

#include "store/convert.h"
#include "store/datetime.h"
#include "support/core/fakes.h"

namespace zelto {
namespace {

using test::At;

TEST(DateTime, WeekdaysAndCalendarHourSteps) {
  EXPECT_EQ(DateTime().Weekday(), 7);  // a Saturday; Sunday counts as 1
  EXPECT_EQ(DateTime().AddDays(1).Weekday(), 1);
  EXPECT_EQ(At(2024, 2, 29).Weekday(), 5);
  // 02:00 that night does not exist on a Berlin wall clock; a naive value has it.
  EXPECT_EQ(At(2024, 3, 31, 1).AddHours(1), At(2024, 3, 31, 2));
  EXPECT_EQ(At(2024, 5, 6, 10, 59, 59).StartOfHour(), At(2024, 5, 6, 10));
  EXPECT_EQ(DateTime::FromSeconds(-1).StartOfHour(), DateTime().AddHours(-1));
}

// Every day from before the year 0 to after the year 8113 (the fast range
// of the day-number conversion and past both its ends), against a count
// that steps one day at a time through the month lengths.
TEST(DateTime, EveryDayNumberMatchesADayByDayCount) {
  const int64_t first = DateTime::DayNumberOf(-1, 12, 1);
  const int64_t last = DateTime::DayNumberOf(8114, 3, 1);
  int year = -1, month = 12, day = 1;
  for (int64_t n = first; n <= last; ++n) {
    int y, m, d;
    DateTime::CivilFromDayNumber(n, y, m, d);
    ASSERT_EQ((std::array{y, m, d}), (std::array{year, month, day})) << "day " << n;
    ASSERT_EQ(DateTime::DaysBeforeMonth(year, month) + day - 1,
              n - DateTime::DayNumberOf(year, 1, 1))
        << year << "-" << month << "-" << day;
    if (++day > DateTime::DaysInMonth(year, month)) {
      day = 1;
      if (++month > 12) {
        month = 1;
        ++year;
      }
    }
  }
  EXPECT_EQ(DateTime::DaysBeforeMonth(2024, 13), 366);
  EXPECT_EQ(DateTime::DaysBeforeMonth(2100, 13), 365);
  EXPECT_EQ(DateTime::DaysBeforeMonth(2000, 13), 366);
}

TEST(DateTime, PartsRollOverWithinYearsOneHundredToNineNineNineNine) {
  // Year, month, day and hour, then the date and hour they give; year 0: out of range.
  const int cases[][8] = {
      {2024, 13, 1, 25, 2025, 1, 2, 1}, {2023, 3, 0, 0, 2023, 2, 28, 0},
      {2024, -30, 1, 0, 2021, 6, 1, 0}, {2024, 1, -1, -1, 2023, 12, 29, 23},
      {99, 13, 1, 0, 100, 1, 1, 0},     {2024, 32767, 32767, 32767, 4847, 12, 11, 7},
      {99, 12, 31, 0, 0, 0, 0, 0},      {9999, 12, 32, 0, 0, 0, 0, 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(DateTime::FromParts(c[0], c[1], c[2], c[3]),
              c[4] ? std::optional(At(c[4], c[5], c[6], c[7])) : std::nullopt)
        << c[0] << "-" << c[1] << "-" << c[2] << "-" << c[3];
  }
}

TEST(DateTime, FileAndGeneralDateTexts) {
  const std::pair<const char*, DateTime> files[] = {{"2024-13-01-25", At(2025, 1, 2, 1)},
                                                    {"2024-03-04-18-99", At(2024, 3, 4, 18)},
                                                    {"1899-12-30-00", DateTime()}};
  for (const auto& [text, expected] : files) EXPECT_EQ(ParseFileDate(text), expected) << text;
  for (const char* text : {"2024-03-04", "2024-03-x-04", "More than 1 year", "", "0050-01-01-00"})
    EXPECT_FALSE(ParseFileDate(text)) << text;
  const std::pair<const char*, DateTime> general[] = {
      {"2011-12-18 14:05", At(2011, 12, 18, 14, 5)},
      {"2011-12-18 14:05:09", At(2011, 12, 18, 14, 5, 9)},
      {"12/18/2011 2:05:00 PM", At(2011, 12, 18, 14, 5)},
      {"1/2/2012 12:00 AM", At(2012, 1, 2)},
      {" 1/2/2012 12:30 pm ", At(2012, 1, 2, 12, 30)}};
  for (const auto& [text, expected] : general) EXPECT_EQ(ParseGeneralDate(text), expected) << text;
  for (const char* text : {"2/30/2012", "13/1/2012", "1/2/2012 13:00 PM", "2011-12-18 25:00",
                           "!!! Error !!!", "2011-12-18 x"})
    EXPECT_FALSE(ParseGeneralDate(text)) << text;
}

TEST(Convert, Int16ParsingRoundsHalvesToEvenAndRejectsOutOfRange) {
  const std::optional<int16_t> no;
  const std::pair<const char*, std::optional<int16_t>> cases[] = {
      {"\t12\t", 12}, {"+3", 3},          {"2.5", 2},         {"3.5", 4},      {"-2.5", -2},
      {"1e3", 1000},  {"-32768", -32768}, {"32767.4", 32767}, {"32767.5", no}, {"-32769", no},
      {"  ", no},     {"1x", no},         {"nan", no},        {"--1", no},     {"0x10", no}};
  for (const auto& [text, expected] : cases)
    EXPECT_EQ(ParseInt16(text), expected) << '"' << text << '"';
}

}  // namespace
}  // namespace zelto
