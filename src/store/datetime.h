#pragma once

#include <compare>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace zelto {

// A naive local calendar date-time with one-second resolution: no time zone,
// no daylight-saving. It counts seconds from the zero date-time
// 1899-12-30 00:00:00, so hour and day steps are plain integer arithmetic and
// a daylight-saving night can neither skip nor repeat an hour.
class DateTime {
 public:
  static constexpr int64_t kSecondsPerHour = 3600;
  static constexpr int64_t kSecondsPerDay = 86400;
  static constexpr int kMinYear = 100;
  static constexpr int kMaxYear = 9999;

  constexpr DateTime() = default;  // the zero date-time

  static constexpr DateTime FromSeconds(int64_t seconds) { return DateTime(seconds); }

  // Builds a date-time from parts that may lie outside their normal ranges:
  // month 13 is January of the next year, day 0 the last day of the month
  // before, hour 24 midnight of the next day. The year is taken literally
  // (year 99 is the year 99, not 1999). Fails when the result lies outside
  // the years 100..9999.
  static std::optional<DateTime> FromParts(int64_t year, int64_t month, int64_t day,
                                           int64_t hour = 0, int64_t minute = 0,
                                           int64_t second = 0);

  // Calendar days since 1899-12-30 of a proleptic Gregorian date, with the
  // same month/day roll-over as FromParts but no range check.
  static int64_t DayNumberOf(int64_t year, int64_t month, int64_t day);

  constexpr int64_t Seconds() const { return seconds_; }
  // Day number: whole calendar days since 1899-12-30 (negative before it).
  constexpr int64_t DayNumber() const { return FloorDiv(seconds_, kSecondsPerDay); }
  constexpr int SecondOfDay() const {
    return static_cast<int>(seconds_ - DayNumber() * kSecondsPerDay);
  }

  int Year() const;
  int Month() const;  // 1..12
  int Day() const;    // 1..31
  constexpr int Hour() const { return SecondOfDay() / 3600; }
  constexpr int Minute() const { return SecondOfDay() / 60 % 60; }
  constexpr int Second() const { return SecondOfDay() % 60; }
  // 1 = Sunday .. 7 = Saturday.
  constexpr int Weekday() const { return WeekdayOfDay(DayNumber()); }
  static constexpr int WeekdayOfDay(int64_t dayNumber) {
    // Day 0, 1899-12-30, was a Saturday.
    return static_cast<int>(FloorMod(dayNumber + 6, 7)) + 1;
  }

  void YearMonthDay(int& year, int& month, int& day) const;
  // The calendar date of a day number. Inline: the occurrence search calls
  // it in its inner loops.
  static void CivilFromDayNumber(int64_t dayNumber, int& year, int& month, int& day);

  // Divisible by 4, and by 400 when by 100 (given 4, 100 divides y when 25
  // does, and 400 when 16 does).
  static constexpr bool IsLeapYear(int year) {
    return (year & 3) == 0 && (year % 25 != 0 || (year & 15) == 0);
  }
  static constexpr int DaysInMonth(int year, int month) {  // month 1..12
    return month == 2 ? 28 + IsLeapYear(year) : kMonthLengths[month - 1];
  }
  // Days of the year before the month's first day; month 13 gives the
  // year's length.
  static constexpr int DaysBeforeMonth(int year, int month) {
    return kDaysBefore[IsLeapYear(year)][month - 1];
  }

  constexpr DateTime AddHours(int64_t hours) const {
    return DateTime(seconds_ + hours * kSecondsPerHour);
  }
  constexpr DateTime AddDays(int64_t days) const {
    return DateTime(seconds_ + days * kSecondsPerDay);
  }
  constexpr DateTime StartOfHour() const {
    return DateTime(seconds_ - FloorMod(seconds_, kSecondsPerHour));
  }
  bool InRange() const;

  constexpr auto operator<=>(const DateTime&) const = default;

  static constexpr int64_t FloorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
  }
  static constexpr int64_t FloorMod(int64_t a, int64_t b) { return a - FloorDiv(a, b) * b; }

 private:
  constexpr explicit DateTime(int64_t seconds) : seconds_(seconds) {}
  static void WideCivilFromDayNumber(int64_t dayNumber, int& year, int& month, int& day);

  static constexpr int8_t kMonthLengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  static constexpr int16_t kDaysBefore[2][13] = {
      {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365},
      {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335, 366}};
  int64_t seconds_ = 0;
};

inline void DateTime::CivilFromDayNumber(int64_t dayNumber, int& year, int& month, int& day) {
  // Neri and Schneider's method in 32-bit arithmetic over the years
  // 0..8113 (a day number plus kShift counts the days since 0000-03-01);
  // the general method beyond. The tests walk every day of the fast range
  // and past both its ends against a day-by-day count.
  constexpr int64_t kShift = 693899;
  constexpr int64_t kLast = 3000000;
  if (dayNumber < -kShift || dayNumber > kLast) {
    WideCivilFromDayNumber(dayNumber, year, month, day);
    return;
  }
  const uint32_t n1 = 4 * static_cast<uint32_t>(dayNumber + kShift) + 3;
  const uint32_t century = n1 / 146097;
  const uint32_t n2 = n1 % 146097 / 4 * 4 + 3;
  const uint64_t p2 = uint64_t{2939745} * n2;
  const uint32_t yearOfCentury = static_cast<uint32_t>(p2 >> 32);
  const uint32_t dayOfYear = static_cast<uint32_t>(p2) / 2939745 / 4;  // from 1 March
  const uint32_t n3 = 2141 * dayOfYear + 197913;
  const bool janOrFeb = dayOfYear >= 306;
  year = static_cast<int>(100 * century + yearOfCentury + janOrFeb);
  month = static_cast<int>((n3 >> 16) - (janOrFeb ? 12 : 0));
  day = static_cast<int>((n3 & 0xFFFF) / 2141 + 1);
}

// The local calendar reading of a moment, under the process's time zone.
// Everything after this conversion is naive.
DateTime LocalDateTime(std::time_t moment);

// "yyyy-mm-dd-hh", the data file's date-time field.
std::string FormatFileDate(DateTime value);
// Splits at "-" and reads year, month, day and hour as 16-bit integers with
// roll-over; parts after the fourth are ignored. Fails on a missing or
// unreadable part or a result outside the representable range.
std::optional<DateTime> ParseFileDate(std::string_view text);

// The general date-and-time texts of the oldest file format:
//   yyyy-mm-dd [hh:nn[:ss]]
//   m/d/yyyy [h:nn[:ss] [AM|PM]]
// with surrounding blanks ignored.
std::optional<DateTime> ParseGeneralDate(std::string_view text);

}  // namespace zelto
