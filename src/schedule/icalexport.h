#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "store/datetime.h"
#include "store/tasktable.h"

namespace zelto {

// Calendar files start every recurrence at the task's first occurrence on
// or after this moment: the earliest start date the editor offers, and
// after the Gregorian reform, so no reader counts those days differently.
inline constexpr int kCalendarFirstYear = 1601;

// A task's rule as an iCalendar recurrence: DTSTART and the RRULE value.
// No value when the rule never falls due from kCalendarFirstYear on, or
// when the task's record was cut short (the search leaves such a task
// alone, so it has no rule to export).
struct CalendarRule {
  DateTime start;     // floating local time
  std::string rrule;  // "FREQ=DAILY;..." without the property name
};
std::optional<CalendarRule> CalendarRuleOf(const TaskTable& table, int id);

// Every task in use as one iCalendar file (CR LF lines, folded at 75
// octets), one VTODO per task, its text as the SUMMARY. `stampUtc` is the
// moment of the export in UTC, for DTSTAMP.
std::string ExportCalendar(const TaskTable& table, DateTime stampUtc);

// Task text as UTF-8: valid UTF-8 stays as it is, anything else is read as
// Windows-1252, as the window displays it.
std::string TextAsUtf8(std::string_view bytes);

// The content line "name:value" folded into CR LF terminated lines of at
// most 75 octets, never inside a UTF-8 sequence.
std::string FoldContentLine(std::string_view line);

}  // namespace zelto
