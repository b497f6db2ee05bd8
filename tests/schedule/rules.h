#pragma once

#include <charconv>
#include <string>
#include <string_view>

#include "store/tasktable.h"

namespace zelto::test {

// A recurrence rule written the way a person reads it. Each mask is a list
// of the numbers it selects: "*" all of them, "" none, "9,17" those two
// (hours 0..23, weekdays 1..7 with Sunday = 1, days 1..31, months 1..12).
struct RuleText {
  std::string_view hours = "*";
  std::string_view weekdays = "*";
  std::string_view days = "*";
  std::string_view months = "*";
  int everyNDays = 0;
  int startYear = 2000, startMonth = 1, startDay = 1;
};

inline void WriteMask(Mask& mask, std::string_view list, int first, int last) {
  mask.Fill(0);
  if (list == "*") {
    for (int v = first; v <= last; ++v) mask[v - first] = 1;
    return;
  }
  while (!list.empty()) {
    const size_t comma = list.find(',');
    const std::string_view item = list.substr(0, comma);
    int v = 0;
    std::from_chars(item.data(), item.data() + item.size(), v);
    mask[v - first] = 1;
    list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
  }
}

inline void WriteRule(TaskTable& t, int id, const RuleText& r) {
  t.TaskText[id] = "task " + std::to_string(id);
  WriteMask(t.HourMask[id], r.hours, 0, 23);
  WriteMask(t.WeekdayMask[id], r.weekdays, 1, 7);
  WriteMask(t.DayOfMonthMask[id], r.days, 1, 31);
  WriteMask(t.MonthMask[id], r.months, 1, 12);
  t.EveryNDays[id] = static_cast<int16_t>(r.everyNDays);
  t.StartYear[id] = static_cast<int16_t>(r.startYear);
  t.StartMonth[id] = static_cast<int16_t>(r.startMonth);
  t.StartDay[id] = static_cast<int16_t>(r.startDay);
  t.PreviousOccurrence[id] = std::string(kOkMarker);
  t.NextOccurrence[id] = std::string(kOkMarker);
}

// An occurrence field as the data file writes it ("yyyy-mm-dd-hh") or its text.
inline std::string Show(const Occurrence& value) {
  if (const auto* date = std::get_if<DateTime>(&value)) return FormatFileDate(*date);
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  return "(empty)";
}

}  // namespace zelto::test
