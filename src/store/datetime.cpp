#include "store/datetime.h"

#include <cctype>
#include <cstdio>
#include <vector>

#include "store/convert.h"

namespace zelto {
namespace {

// Days between 1970-01-01 and 1899-12-30.
constexpr int64_t kEpochShift = 25569;

// Howard Hinnant's days_from_civil / civil_from_days, exact for the whole
// proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = DateTime::FloorDiv(y, 400);
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

}  // namespace

int64_t DateTime::DayNumberOf(int64_t year, int64_t month, int64_t day) {
  const int64_t y = year + FloorDiv(month - 1, 12);
  const int64_t m = FloorMod(month - 1, 12) + 1;
  return DaysFromCivil(y, m, 1) + kEpochShift + (day - 1);
}

void DateTime::WideCivilFromDayNumber(int64_t dayNumber, int& year, int& month, int& day) {
  const int64_t z = dayNumber - kEpochShift + 719468;
  const int64_t era = FloorDiv(z, 146097);
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  year = static_cast<int>(yoe + era * 400 + (m <= 2));
  month = static_cast<int>(m);
  day = static_cast<int>(d);
}

std::optional<DateTime> DateTime::FromParts(int64_t year, int64_t month, int64_t day, int64_t hour,
                                            int64_t minute, int64_t second) {
  // Parts come from 16-bit fields, but guard against anything that could
  // overflow the day arithmetic.
  constexpr int64_t kLimit = int64_t{1} << 40;
  for (int64_t part : {year, month, day, hour, minute, second}) {
    if (part > kLimit || part < -kLimit) return std::nullopt;
  }
  const int64_t days = DayNumberOf(year, month, day);
  DateTime result(days * kSecondsPerDay + hour * kSecondsPerHour + minute * 60 + second);
  if (!result.InRange()) return std::nullopt;
  return result;
}

void DateTime::YearMonthDay(int& year, int& month, int& day) const {
  CivilFromDayNumber(DayNumber(), year, month, day);
}

int DateTime::Year() const {
  int y, m, d;
  YearMonthDay(y, m, d);
  return y;
}

int DateTime::Month() const {
  int y, m, d;
  YearMonthDay(y, m, d);
  return m;
}

int DateTime::Day() const {
  int y, m, d;
  YearMonthDay(y, m, d);
  return d;
}

bool DateTime::InRange() const {
  static const int64_t kFirst = DaysFromCivil(kMinYear, 1, 1) + kEpochShift;
  static const int64_t kLast = DaysFromCivil(kMaxYear, 12, 31) + kEpochShift;
  const int64_t day = DayNumber();
  return day >= kFirst && day <= kLast;
}

DateTime LocalDateTime(std::time_t moment) {
  std::tm local{};
  localtime_r(&moment, &local);
  return DateTime::FromParts(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                             local.tm_min, local.tm_sec)
      .value_or(DateTime());
}

std::string FormatFileDate(DateTime value) {
  int y, m, d;
  value.YearMonthDay(y, m, d);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d-%02d", y, m, d, value.Hour());
  return buffer;
}

std::optional<DateTime> ParseFileDate(std::string_view text) {
  int64_t parts[4];
  size_t start = 0;
  for (int i = 0; i < 4; ++i) {
    if (start > text.size()) return std::nullopt;
    size_t end = text.find('-', start);
    if (end == std::string_view::npos) end = text.size();
    const auto value = ParseInt16(text.substr(start, end - start));
    if (!value) return std::nullopt;
    parts[i] = *value;
    start = end + 1;
  }
  return DateTime::FromParts(parts[0], parts[1], parts[2], parts[3]);
}

namespace {

bool ReadNumber(std::string_view& s, int& out, size_t maxDigits) {
  size_t n = 0;
  int value = 0;
  while (n < s.size() && n < maxDigits && std::isdigit(static_cast<unsigned char>(s[n]))) {
    value = value * 10 + (s[n] - '0');
    ++n;
  }
  if (n == 0) return false;
  out = value;
  s.remove_prefix(n);
  return true;
}

bool Eat(std::string_view& s, char c) {
  if (s.empty() || s.front() != c) return false;
  s.remove_prefix(1);
  return true;
}

void SkipBlanks(std::string_view& s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
}

// "h:nn[:ss]" with an optional AM/PM suffix when twelveHour is allowed.
bool ReadTime(std::string_view& s, bool allowMeridiem, int& h, int& mi, int& sec) {
  sec = 0;
  if (!ReadNumber(s, h, 2) || !Eat(s, ':') || !ReadNumber(s, mi, 2)) return false;
  if (Eat(s, ':') && !ReadNumber(s, sec, 2)) return false;
  if (h > 23 || mi > 59 || sec > 59) return false;
  SkipBlanks(s);
  if (allowMeridiem && s.size() >= 2) {
    const char a = static_cast<char>(std::toupper(static_cast<unsigned char>(s[0])));
    const char b = static_cast<char>(std::toupper(static_cast<unsigned char>(s[1])));
    if ((a == 'A' || a == 'P') && b == 'M') {
      if (h < 1 || h > 12) return false;
      h = h % 12 + (a == 'P' ? 12 : 0);
      s.remove_prefix(2);
    }
  }
  return true;
}

bool ValidDate(int y, int m, int d) {
  if (m < 1 || m > 12 || d < 1 || y < DateTime::kMinYear || y > DateTime::kMaxYear) return false;
  int yy, mm, dd;
  DateTime::CivilFromDayNumber(DateTime::DayNumberOf(y, m, d), yy, mm, dd);
  return yy == y && mm == m && dd == d;
}

}  // namespace

std::optional<DateTime> ParseGeneralDate(std::string_view s) {
  SkipBlanks(s);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  int y = 0, m = 0, d = 0, h = 0, mi = 0, sec = 0;
  bool twelveHour = false;
  std::string_view probe = s;
  int first = 0;
  if (!ReadNumber(probe, first, 4)) return std::nullopt;
  if (!probe.empty() && probe.front() == '-') {
    // ISO: yyyy-mm-dd
    if (s.size() - probe.size() != 4) return std::nullopt;
    y = first;
    s = probe;
    if (!Eat(s, '-') || !ReadNumber(s, m, 2) || !Eat(s, '-') || !ReadNumber(s, d, 2))
      return std::nullopt;
  } else if (!probe.empty() && probe.front() == '/') {
    // m/d/yyyy
    m = first;
    s = probe;
    if (!Eat(s, '/') || !ReadNumber(s, d, 2) || !Eat(s, '/')) return std::nullopt;
    const size_t before = s.size();
    if (!ReadNumber(s, y, 4) || before - s.size() != 4) return std::nullopt;
    twelveHour = true;
  } else {
    return std::nullopt;
  }
  if (!ValidDate(y, m, d)) return std::nullopt;
  if (!s.empty()) {
    if (s.front() != ' ' && s.front() != 'T') return std::nullopt;
    s.remove_prefix(1);
    SkipBlanks(s);
    if (!ReadTime(s, twelveHour, h, mi, sec)) return std::nullopt;
    SkipBlanks(s);
    if (!s.empty()) return std::nullopt;
  }
  return DateTime::FromParts(y, m, d, h, mi, sec);
}

}  // namespace zelto
