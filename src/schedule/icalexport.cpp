#include "schedule/icalexport.h"

#include <array>
#include <cstdint>
#include <memory>

#include "schedule/occurrences.h"

namespace zelto {
namespace {

constexpr std::array<const char*, 7> kWeekdayCodes = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};
constexpr std::array<int, 12> kLongestMonth = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

bool Selected(MaskColumn::ConstRef mask, int k) {
  return mask[k] == 1;
}

int CountSelected(MaskColumn::ConstRef mask, int count) {
  int n = 0;
  for (int k = 0; k < count; ++k) n += Selected(mask, k);
  return n;
}

// Checks that settle most rules that never fall due without searching: an
// empty mask, selected days that no selected month has, or an interval
// that keeps to one weekday that is not selected.
bool ObviouslyNever(const TaskTable& t, int id) {
  if (CountSelected(t.HourMask[id], 24) == 0 || CountSelected(t.WeekdayMask[id], 7) == 0) {
    return true;
  }
  bool someDay = false;
  for (int m = 0; m < 12 && !someDay; ++m) {
    if (!Selected(t.MonthMask[id], m)) continue;
    for (int d = 0; d < kLongestMonth[m] && !someDay; ++d)
      someDay = Selected(t.DayOfMonthMask[id], d);
  }
  if (!someDay) return true;
  const int n = t.EveryNDays[id];
  const auto start = DateTime::FromParts(t.StartYear[id], t.StartMonth[id], t.StartDay[id]);
  return start && n % 7 == 0 && n != 0 && !Selected(t.WeekdayMask[id], start->Weekday() - 1);
}

// The interval of the each-n-days rule when it can reject a day: the rule
// is on, not every day, and its start date exists.
std::optional<int> SteppedInterval(const TaskTable& t, int id) {
  const int n = t.EveryNDays[id];
  if (n == 0 || n == 1 || n == -1) return std::nullopt;
  if (!DateTime::FromParts(t.StartYear[id], t.StartMonth[id], t.StartDay[id])) return std::nullopt;
  return n < 0 ? -n : n;
}

// The earliest hour the program's own search finds on or after `from`,
// searched a window at a time up to the last representable year. The
// last window reaches past it; an hour found there has a five-digit year,
// which no calendar date can hold, so for a calendar the rule never falls due.
std::optional<DateTime> FirstOccurrence(const TaskTable& t, int id, DateTime from) {
  thread_local std::unique_ptr<TaskTable> scratch;
  if (!scratch) scratch = MakeTaskTable();
  TaskTable& s = *scratch;
  s.EveryNDays[0] = t.EveryNDays[id];
  s.StartDay[0] = t.StartDay[id];
  s.StartMonth[0] = t.StartMonth[id];
  s.StartYear[0] = t.StartYear[id];
  s.HourMask[0] = t.HourMask[id];
  s.WeekdayMask[0] = t.WeekdayMask[id];
  s.DayOfMonthMask[0] = t.DayOfMonthMask[id];
  s.MonthMask[0] = t.MonthMask[id];
  s.PreviousOccurrence[0] = Occurrence();
  static const DateTime kLast = *DateTime::FromParts(DateTime::kMaxYear, 12, 31, 23);
  // The search looks at the hours after now's hour.
  for (DateTime now = from.AddHours(-1); now < kLast; now = now.AddHours(kSearchHours)) {
    FindOccurrences(s, 0, now);
    if (const DateTime* next = s.NextOccurrence[0].Date()) {
      if (kLast < *next) break;
      return *next;
    }
  }
  return std::nullopt;
}

void AppendList(std::string& rule, const char* name, MaskColumn::ConstRef mask, int first,
                int count) {
  rule += ';';
  rule += name;
  char separator = '=';
  for (int k = 0; k < count; ++k) {
    if (!Selected(mask, k)) continue;
    rule += separator;
    rule += std::to_string(k + first);
    separator = ',';
  }
}

std::string Digits(int value, int width) {
  std::string text = std::to_string(value);
  return std::string(text.size() < static_cast<size_t>(width) ? width - text.size() : 0, '0') +
         text;
}

std::string FormatIcalDate(DateTime value) {
  int year, month, day;
  value.YearMonthDay(year, month, day);
  return Digits(year, 4) + Digits(month, 2) + Digits(day, 2) + 'T' + Digits(value.Hour(), 2) +
         Digits(value.Minute(), 2) + Digits(value.Second(), 2);
}

// The length of the valid UTF-8 sequence at `i`, or 0: no overlong forms,
// no surrogates, nothing above U+10FFFF.
size_t Utf8SequenceAt(std::string_view s, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<uint8_t>(s[k]); };
  const uint8_t b = byte(i);
  if (b < 0x80) return 1;
  size_t length;
  uint8_t low = 0x80, high = 0xBF;  // the range of the second byte
  if (b >= 0xC2 && b <= 0xDF) {
    length = 2;
  } else if (b >= 0xE0 && b <= 0xEF) {
    length = 3;
    if (b == 0xE0) low = 0xA0;
    if (b == 0xED) high = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    length = 4;
    if (b == 0xF0) low = 0x90;
    if (b == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (i + length > s.size()) return 0;
  if (byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (size_t k = 2; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  }
  return length;
}

bool IsUtf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    const size_t length = Utf8SequenceAt(s, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

void AppendCodePoint(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | c >> 6);
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | c >> 12);
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Windows-1252's bytes 0x80..0x9F; the five it leaves undefined keep their
// Latin-1 meaning.
constexpr std::array<uint16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// A TEXT value: backslash, semicolon and comma escaped, a line break as
// "\n", and the other control characters, which TEXT cannot hold, left out.
std::string EscapeText(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size(); ++i) {
    const char c = utf8[i];
    if (c == '\\' || c == ';' || c == ',') {
      out += '\\';
      out += c;
    } else if (c == '\n' || (c == '\r' && (i + 1 == utf8.size() || utf8[i + 1] != '\n'))) {
      out += "\\n";
    } else if ((static_cast<uint8_t>(c) < 0x20 && c != '\t') || c == 0x7F) {
      continue;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::string TextAsUtf8(std::string_view bytes) {
  if (IsUtf8(bytes)) return std::string(bytes);
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const auto b = static_cast<uint8_t>(c);
    AppendCodePoint(out, b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : b);
  }
  return out;
}

std::string FoldContentLine(std::string_view line) {
  constexpr size_t kMaxOctets = 75;
  std::string out;
  size_t room = kMaxOctets;
  while (line.size() > room) {
    size_t cut = room;
    while (cut > 0 && (static_cast<uint8_t>(line[cut]) & 0xC0) == 0x80) --cut;
    if (cut == 0) cut = room;  // not UTF-8 after all: cut where the octets end
    out.append(line.substr(0, cut));
    out += "\r\n ";
    line.remove_prefix(cut);
    room = kMaxOctets - 1;  // the leading blank counts
  }
  out.append(line);
  out += "\r\n";
  return out;
}

std::optional<CalendarRule> CalendarRuleOf(const TaskTable& t, int id) {
  if (HoldsText(t.PreviousOccurrence[id], kErrorMarker) || ObviouslyNever(t, id)) {
    return std::nullopt;
  }
  const auto first = FirstOccurrence(t, id, *DateTime::FromParts(kCalendarFirstYear, 1, 1));
  if (!first) return std::nullopt;
  CalendarRule rule{*first, "FREQ=DAILY"};
  if (const auto interval = SteppedInterval(t, id))
    rule.rrule += ";INTERVAL=" + std::to_string(*interval);
  // A list that names every value selects nothing less than no list; the
  // hours are always listed, or only DTSTART's hour would be.
  if (CountSelected(t.MonthMask[id], 12) < 12)
    AppendList(rule.rrule, "BYMONTH", t.MonthMask[id], 1, 12);
  if (CountSelected(t.DayOfMonthMask[id], 31) < 31) {
    AppendList(rule.rrule, "BYMONTHDAY", t.DayOfMonthMask[id], 1, 31);
  }
  if (CountSelected(t.WeekdayMask[id], 7) < 7) {
    rule.rrule += ";BYDAY";
    char separator = '=';
    for (int w = 0; w < 7; ++w) {
      if (!Selected(t.WeekdayMask[id], w)) continue;
      rule.rrule += separator;
      rule.rrule += kWeekdayCodes[w];
      separator = ',';
    }
  }
  AppendList(rule.rrule, "BYHOUR", t.HourMask[id], 0, 24);
  return rule;
}

std::string ExportCalendar(const TaskTable& t, DateTime stampUtc) {
  std::string out =
      "BEGIN:VCALENDAR\r\n"
      "VERSION:2.0\r\n"
      "PRODID:-//Zelto//Zelto Todo List 2.3//EN\r\n"
      "CALSCALE:GREGORIAN\r\n";
  const std::string stamp = "DTSTAMP:" + FormatIcalDate(stampUtc) + "Z\r\n";
  for (int id = 0; id <= kMaxTaskId; ++id) {
    if (!t.InUse(id)) continue;
    out += "BEGIN:VTODO\r\n";
    // Ids are stable until "Re-count" closes the gaps.
    out += "UID:task-" + std::to_string(id) + "@zelto-todo\r\n";
    out += stamp;
    const auto rule = CalendarRuleOf(t, id);
    if (rule) {
      out += "DTSTART:" + FormatIcalDate(rule->start) + "\r\n";
      out += FoldContentLine("RRULE:" + rule->rrule);
    }
    out += FoldContentLine("SUMMARY:" + EscapeText(TextAsUtf8(t.TaskText[id])));
    if (!rule) {
      out += FoldContentLine(
          HoldsText(t.PreviousOccurrence[id], kErrorMarker)
              ? "DESCRIPTION:The data file holds this task's record cut short\\; it has no rule."
              : "DESCRIPTION:This task's rule never falls due\\, so it has no recurrence.");
    }
    out += "END:VTODO\r\n";
  }
  out += "END:VCALENDAR\r\n";
  return out;
}

}  // namespace zelto
