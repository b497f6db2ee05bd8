// The calendar export parsed back by libical: for thousands of random rules
// its expansion of each RRULE must give the previous and next occurrence the
// program's search finds around a random moment of 1900 to 2100.
#include <gtest/gtest.h>
#include <libical/ical.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <numeric>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "schedule/icalexport.h"
#include "schedule/occurrences.h"
#include "support/core/oracle.h"

namespace zelto::test {
namespace {

constexpr int kRules = 10000;

struct Found {
  std::optional<DateTime> previous;
  std::optional<DateTime> next;
  bool operator==(const Found&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Found& f) {
  const auto shown = [](const auto& v) { return v ? FormatFileDate(*v) : "none"; };
  return os << "previous " << shown(f.previous) << ", next " << shown(f.next);
}

template <typename Search>
Found ProgramFinds(TaskTable& t, int id, DateTime now, Search search) {
  search(t, id, now);
  const auto date = [](const Occurrence& field) -> std::optional<DateTime> {
    if (const DateTime* value = field.Date()) return *value;
    return std::nullopt;
  };
  return {date(t.PreviousOccurrence[id]), date(t.NextOccurrence[id])};
}

icaltimetype ToIcal(DateTime value) {
  icaltimetype t = icaltime_null_time();
  value.YearMonthDay(t.year, t.month, t.day);
  t.hour = value.Hour();
  return t;
}

DateTime FromIcal(const icaltimetype& t) {
  return *DateTime::FromParts(t.year, t.month, t.day, t.hour, t.minute, t.second);
}

// libical's expansion from `from` on: the latest occurrence up to `base` and
// the first after it up to `high`. The walk starts at the rule's first hour
// of the day: libical takes a start time whose day passes, whatever its hour.
Found LibicalWalk(const icalrecurrencetype& rule, const icaltimetype& dtstart, DateTime from,
                  DateTime base, DateTime high) {
  Found found;
  icalrecur_iterator* it = icalrecur_iterator_new(rule, dtstart);
  if (it == nullptr) {
    // libical refuses a DTSTART after its last year (2582 with a 64-bit
    // time_t); such a rule has nothing before it, so nothing in the window.
    EXPECT_GT(dtstart.year, 2582);
    return found;
  }
  const DateTime first =
      DateTime::FromSeconds(from.DayNumber() * DateTime::kSecondsPerDay).AddHours(rule.by_hour[0]);
  EXPECT_TRUE(icalrecur_iterator_set_start(it, ToIcal(first)));
  for (icaltimetype t = icalrecur_iterator_next(it); !icaltime_is_null_time(t);
       t = icalrecur_iterator_next(it)) {
    const DateTime when = FromIcal(t);
    if (when < from) continue;
    if (when > high) break;
    if (when <= base) {
      found.previous = when;
    } else {
      found.next = when;
      break;
    }
  }
  icalrecur_iterator_free(it);
  return found;
}

// The search window around now. A walk from a day or a month back finds a
// frequent rule's previous occurrence without expanding the year before.
Found LibicalFinds(const icalrecurrencetype& rule, const icaltimetype& dtstart, DateTime now) {
  const DateTime base = now.StartOfHour();
  const DateTime low = base.AddHours(-kSearchHours);
  const DateTime high = base.AddHours(kSearchHours);
  for (const int days : {1, 30}) {
    const Found found = LibicalWalk(rule, dtstart, base.AddDays(-days), base, high);
    if (found.previous) return found;
  }
  return LibicalWalk(rule, dtstart, low, base, high);
}

// `count` random entries of the first `used` hold 1; the rest anything else,
// and entries the search never reads anything at all.
void SetMask(std::mt19937& rng, MaskColumn::Ref mask, int used, int count) {
  constexpr int16_t kOthers[] = {0, 0, 0, 2, -1, 3, 257, -32768};
  for (int k = 0; k < kMaskSize; ++k) {
    mask[k] = k >= used && rng() % 2 == 0 ? 1 : kOthers[rng() % std::size(kOthers)];
  }
  std::vector<int> entries(used);
  std::iota(entries.begin(), entries.end(), 0);
  std::shuffle(entries.begin(), entries.end(), rng);
  for (int k = 0; k < count; ++k) mask[entries[k]] = 1;
}

// Now and then none, mostly one or a few, else about half or nearly all.
int Count(std::mt19937& rng, int used) {
  const int choice = static_cast<int>(rng() % 50);
  if (choice == 0) return 0;
  if (choice < 12) return 1;
  if (choice < 24) return 2 + static_cast<int>(rng() % 3);
  if (choice < 34) return used / 2;
  if (choice < 40) return used - 1;
  return used;
}

void RandomRule(std::mt19937& rng, TaskTable& t, int id) {
  // libical expands every listed hour of each day it looks at: few hours.
  constexpr int kHourCounts[] = {1, 1, 1, 1, 2, 3, 5};
  SetMask(rng, t.HourMask[id], 24,
          rng() % 25 == 0 ? Count(rng, 24) : kHourCounts[rng() % std::size(kHourCounts)]);
  SetMask(rng, t.WeekdayMask[id], 7, Count(rng, 7));
  SetMask(rng, t.MonthMask[id], 12, Count(rng, 12));
  SetMask(rng, t.DayOfMonthMask[id], 31, Count(rng, 31));
  const auto pick = [&rng](int lowest, int highest) {
    return static_cast<int>(std::uniform_int_distribution<int>(lowest, highest)(rng));
  };
  const int sign = rng() % 2 ? 1 : -1;
  const int n[] = {0,
                   0,
                   pick(-1, 1),
                   sign * pick(2, 70),
                   sign * pick(64, 1000),
                   7 * pick(1, 9),
                   sign * pick(1000, 32767),
                   rng() % 3 == 0 ? -32768 : pick(-400, 400)};
  t.EveryNDays[id] = static_cast<int16_t>(n[rng() % std::size(n)]);
  // A year below 100 mostly gives no start date at all.
  t.StartYear[id] = static_cast<int16_t>(rng() % 10 == 0 ? pick(0, 120) : pick(1601, 2200));
  t.StartMonth[id] = static_cast<int16_t>(pick(0, 14));
  t.StartDay[id] = static_cast<int16_t>(pick(-2, 33));
}

std::string RandomText(std::mt19937& rng, int id) {
  static const std::string kPieces[] = {"Water the plants", ", ",      "; ",   "\\",
                                        "caf\xc3\xa9",      "caf\xe9", "\x80", "\t",
                                        "\xe2\x82\xac",     " "};
  std::string text = std::to_string(id) + " ";
  const int pieces = static_cast<int>(rng() % 12);
  for (int k = 0; k < pieces; ++k) text += kPieces[rng() % std::size(kPieces)];
  return text;
}

// libical 3.0.16's parser drops the blanks at the end of every unfolded
// content line, so a text ending in blanks comes back without them; the
// exact SUMMARY line is checked without libical.
std::string WithoutTrailingBlanks(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
  return text;
}

unsigned Seed() {
  if (const char* text = std::getenv("ZELTO_ICAL_SEED")) return std::strtoul(text, nullptr, 10);
  return std::random_device()();
}

DateTime RandomMoment(std::mt19937& rng) {
  static const int64_t kFrom = DateTime::FromParts(1900, 1, 1)->Seconds();
  static const int64_t kTo = DateTime::FromParts(2101, 1, 1)->Seconds();
  return DateTime::FromSeconds(std::uniform_int_distribution<int64_t>(kFrom, kTo - 1)(rng));
}

// libical 3.0.16 keeps INTERVAL in a 16-bit short and refuses an interval
// below 1: "INTERVAL=32768" (an each-n-days rule of -32768 days) wraps to
// -32768 and the whole RRULE is rejected. Those rules are checked against
// the test's brute-force search instead.
bool LibicalCannotHold(const std::string& rrule) {
  return rrule.find("INTERVAL=32768") != std::string::npos;
}

TEST(CalendarExport, LibicalExpandsEveryRandomRuleAsTheProgramSearches) {
  const unsigned seed = Seed();
  std::cout << "seed " << seed << " (set ZELTO_ICAL_SEED to repeat)\n";
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);
  auto table = MakeTaskTable();
  for (int id = 1; id <= kRules; ++id) {
    RandomRule(rng, *table, id);
    table->TaskText.Set(id, RandomText(rng, id));
  }
  const std::string file = ExportCalendar(*table, *DateTime::FromParts(2024, 5, 6, 7, 8, 9));

  icalcomponent* calendar = icalparser_parse_string(file.c_str());
  ASSERT_NE(calendar, nullptr);
  ASSERT_EQ(icalcomponent_isa(calendar), ICAL_VCALENDAR_COMPONENT);
  EXPECT_EQ(icalcomponent_count_components(calendar, ICAL_VTODO_COMPONENT), kRules);

  int refused = 0;
  for (icalcomponent* todo = icalcomponent_get_first_component(calendar, ICAL_VTODO_COMPONENT);
       todo != nullptr; todo = icalcomponent_get_next_component(calendar, ICAL_VTODO_COMPONENT)) {
    const std::string uid = icalcomponent_get_uid(todo);
    const int id = std::stoi(uid.substr(uid.find('-') + 1));
    SCOPED_TRACE("task " + std::to_string(id));
    ASSERT_TRUE(table->InUse(id));
    EXPECT_EQ(icalcomponent_get_summary(todo),
              WithoutTrailingBlanks(TextAsUtf8(table->TaskText[id])));
    const auto exported = CalendarRuleOf(*table, id);
    icalproperty* rrule = icalcomponent_get_first_property(todo, ICAL_RRULE_PROPERTY);
    const bool libicalRefuses = exported && LibicalCannotHold(exported->rrule);
    // The only errors libical finds are the rules it cannot hold.
    EXPECT_EQ(icalcomponent_count_errors(todo), libicalRefuses ? 1 : 0);
    refused += libicalRefuses;
    if (!libicalRefuses) {
      ASSERT_EQ(rrule != nullptr, exported.has_value());
      // Never due: a description says why.
      EXPECT_EQ(icalcomponent_get_first_property(todo, ICAL_DESCRIPTION_PROPERTY) != nullptr,
                !exported.has_value());
    }
    SCOPED_TRACE(exported ? exported->rrule : "no rule");
    const DateTime now = RandomMoment(rng);
    SCOPED_TRACE("now " + FormatFileDate(now));
    const Found program = ProgramFinds(*table, id, now, FindOccurrences);
    if (!exported)
      ASSERT_EQ(program, Found{});
    else if (libicalRefuses)
      ASSERT_EQ(program, ProgramFinds(*table, id, now, FindOccurrencesOracle));
    else
      ASSERT_EQ(program,
                LibicalFinds(icalproperty_get_rrule(rrule), icalcomponent_get_dtstart(todo), now));
  }
  EXPECT_EQ(icalcomponent_count_errors(calendar), refused);
  icalcomponent_free(calendar);
}

}  // namespace
}  // namespace zelto::test
