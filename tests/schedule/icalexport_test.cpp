#include "schedule/icalexport.h"

#include <gtest/gtest.h>

#include "rules.h"
#include "support/core/fakes.h"

namespace zelto::test {
namespace {

struct RuleCase {
  const char* name;
  RuleText rule;
  const char* start;  // DTSTART, or "" when the task gets no rule
  const char* rrule;
};

// Expected first occurrences worked out with a separate calendar
// (Python's proleptic Gregorian dates); 1601-01-01 was a Monday.
// clang-format off
const RuleCase kRuleCases[] = {
  {"daily at nine", {.hours = "9"}, "16010101T090000", "FREQ=DAILY;BYHOUR=9"},
  {"greyed and odd entries select nothing", {.hours = "7", .weekdays = "2", .unselected = 2}, "16010101T070000", "FREQ=DAILY;BYDAY=MO;BYHOUR=7"},
  {"negative interval keeps the start date's phase", {.hours = "8", .weekdays = "3", .everyNDays = -14, .startYear = 2024, .startMonth = 3, .startDay = 5}, "16010102T080000", "FREQ=DAILY;INTERVAL=14;BYDAY=TU;BYHOUR=8"},
  {"day 31 waits for a long month in phase", {.hours = "23", .days = "31", .everyNDays = 3, .startYear = 1700, .startMonth = 3}, "16010331T230000", "FREQ=DAILY;INTERVAL=3;BYMONTHDAY=31;BYHOUR=23"},
  {"leap day on a Monday", {.hours = "6", .weekdays = "2", .days = "29", .months = "2"}, "16160229T060000", "FREQ=DAILY;BYMONTH=2;BYMONTHDAY=29;BYDAY=MO;BYHOUR=6"},
  {"month 13 of 2023 is January 2024", {.hours = "1", .everyNDays = 2, .startYear = 2023, .startMonth = 13, .startDay = 3}, "16010102T010000", "FREQ=DAILY;INTERVAL=2;BYHOUR=1"},
  {"a start before the year 100 drops the interval", {.hours = "1", .everyNDays = 5, .startYear = 50}, "16010101T010000", "FREQ=DAILY;BYHOUR=1"},
  {"one day, every day", {.hours = "1,2", .everyNDays = -1}, "16010101T010000", "FREQ=DAILY;BYHOUR=1,2"},
  {"no hour", {.hours = ""}, "", ""},
  {"days no selected month has", {.days = "30,31", .months = "2"}, "", ""},
  {"first due in the year 10000, which a calendar cannot write", {.hours = "0", .days = "1", .months = "1", .everyNDays = 32767, .startYear = 9910, .startMonth = 4, .startDay = 16}, "", ""},
  {"weeks on a weekday not selected", {.weekdays = "3", .everyNDays = 21, .startYear = 2024, .startMonth = 3, .startDay = 4}, "", ""},
};
// clang-format on

TEST(CalendarRule, ExpressesTheRuleFromItsFirstOccurrence) {
  auto table = MakeTaskTable();
  for (const RuleCase& c : kRuleCases) {
    SCOPED_TRACE(c.name);
    WriteRule(*table, 1, c.rule);
    const auto rule = CalendarRuleOf(*table, 1);
    ASSERT_EQ(rule.has_value(), *c.start != '\0');
    if (!rule) continue;
    const std::string export_ = ExportCalendar(*table, At(2024, 1, 1));
    EXPECT_NE(export_.find(std::string("DTSTART:") + c.start + "\r\n"), std::string::npos);
    EXPECT_EQ(rule->rrule, c.rrule);
  }
}

TEST(CalendarExport, WritesOneTodoPerTaskWithEscapedTextAndReasonsForMissingRules) {
  auto table = MakeTaskTable();
  WriteRule(*table, 3, {.hours = "9"});
  table->TaskText.Set(3, "Call Ann, Bob; bring \\ cables ");
  WriteRule(*table, 7, {.hours = ""});
  table->TaskText.Set(7, "Never");
  WriteRule(*table, 12, {.hours = "9"});
  table->TaskText.Set(12, "Cut short");
  table->PreviousOccurrence[12] = std::string(kErrorMarker);
  EXPECT_EQ(ExportCalendar(*table, At(2024, 5, 6, 7, 8, 9)),
            "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Zelto//Zelto Todo List 2.3//EN\r\n"
            "CALSCALE:GREGORIAN\r\n"
            "BEGIN:VTODO\r\nUID:task-3@zelto-todo\r\nDTSTAMP:20240506T070809Z\r\n"
            "DTSTART:16010101T090000\r\nRRULE:FREQ=DAILY;BYHOUR=9\r\n"
            "SUMMARY:Call Ann\\, Bob\\; bring \\\\ cables \r\nEND:VTODO\r\n"
            "BEGIN:VTODO\r\nUID:task-7@zelto-todo\r\nDTSTAMP:20240506T070809Z\r\n"
            "SUMMARY:Never\r\n"
            "DESCRIPTION:This task's rule never falls due\\, so it has no recurrence.\r\n"
            "END:VTODO\r\n"
            "BEGIN:VTODO\r\nUID:task-12@zelto-todo\r\nDTSTAMP:20240506T070809Z\r\n"
            "SUMMARY:Cut short\r\n"
            "DESCRIPTION:The data file holds this task's record cut short\\; it has no ru\r\n"
            " le.\r\n"
            "END:VTODO\r\nEND:VCALENDAR\r\n");
}

TEST(CalendarText, BytesBecomeUtf8) {
  const struct {
    const char* bytes;
    const char* utf8;
  } cases[] = {
      {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8c\xb1", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8c\xb1"},
      {"caf\xe9", "caf\xc3\xa9"},                        // Windows-1252
      {"\x80\x9f", "\xe2\x82\xac\xc5\xb8"},              // its own signs
      {"\x81\x8d", "\xc2\x81\xc2\x8d"},                  // undefined there: Latin-1
      {"\xc0\xaf", "\xc3\x80\xc2\xaf"},                  // overlong, so not UTF-8
      {"\xed\xa0\x80", "\xc3\xad\xc2\xa0\xe2\x82\xac"},  // a surrogate, so not UTF-8
  };
  for (const auto& c : cases) EXPECT_EQ(TextAsUtf8(c.bytes), c.utf8) << c.bytes;
}

TEST(CalendarText, FoldsAt75OctetsBetweenCharacters) {
  const std::string a75(75, 'a');
  const std::string a74(74, 'a');
  const std::string e = "\xc3\xa9";
  const struct {
    std::string line;
    std::string folded;
  } cases[] = {
      {a75, a75 + "\r\n"},
      {a75 + "b", a75 + "\r\n b\r\n"},
      {a74 + e, a74 + "\r\n " + e + "\r\n"},  // é would end at octet 76
      {a75 + a74 + "c", a75 + "\r\n " + a74 + "\r\n c\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(FoldContentLine(c.line), c.folded) << c.line;
}

}  // namespace
}  // namespace zelto::test
