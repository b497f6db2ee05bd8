#pragma once

#include <charconv>
#include <string>
#include <string_view>

#include "store/tasktable.h"

namespace zelto::test {

// A recurrence rule written the way a person reads it. Each mask is a list
// of the numbers it selects: "*" all of them, "" none, "9,17" those two
// (hours 0..23, weekdays 1..7 with Sunday = 1, days 1..31, months 1..12);
// every other entry holds `unselected`.
struct RuleText {
  std::string_view hours = "*", weekdays = "*", days = "*", months = "*";
  int everyNDays = 0;
  int startYear = 2000, startMonth = 1, startDay = 1;
  int16_t unselected = 0;
};

inline void WriteMask(MaskColumn::Ref mask, std::string_view list, int first, int last,
                      int16_t off) {
  mask.Fill(off);
  for (int v = first; v <= last && list == "*"; ++v) mask[v - first] = 1;
  const char* const end = list.data() + list.size();
  for (const char* p = list.data(); list != "*" && p != end; p += p != end) {  // past the comma
    int v = 0;
    p = std::from_chars(p, end, v).ptr;
    mask[v - first] = 1;
  }
}

inline void WriteRule(TaskTable& t, int id, const RuleText& r) {
  t.TaskText.Set(id, "task " + std::to_string(id));
  WriteMask(t.HourMask[id], r.hours, 0, 23, r.unselected);
  WriteMask(t.WeekdayMask[id], r.weekdays, 1, 7, r.unselected);
  WriteMask(t.DayOfMonthMask[id], r.days, 1, 31, r.unselected);
  WriteMask(t.MonthMask[id], r.months, 1, 12, r.unselected);
  t.EveryNDays[id] = static_cast<int16_t>(r.everyNDays);
  t.StartYear[id] = static_cast<int16_t>(r.startYear);
  t.StartMonth[id] = static_cast<int16_t>(r.startMonth);
  t.StartDay[id] = static_cast<int16_t>(r.startDay);
  t.PreviousOccurrence[id] = t.NextOccurrence[id] = std::string(kOkMarker);
}

// An occurrence field as the data file writes it ("yyyy-mm-dd-hh") or its text.
inline std::string Show(const Occurrence& value) {
  if (const DateTime* date = value.Date()) return FormatFileDate(*date);
  if (const std::string* text = value.Text()) return *text;
  return "(empty)";
}
inline std::string Occurrences(const TaskTable& t, int id) {
  return Show(t.PreviousOccurrence[id]) + " / " + Show(t.NextOccurrence[id]);
}

}  // namespace zelto::test
