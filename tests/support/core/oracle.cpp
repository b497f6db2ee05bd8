#include "support/core/oracle.h"

#include <optional>
#include <string>

namespace zelto::test {
namespace {

constexpr int kScanHours = 8800;

bool Selected(const Mask& mask, int k) {
  return mask[k] == 1;
}

// The "starting from" date of the each-n-days rule, at midnight. It is
// formed with the same roll-over as the data file's date parts, and its
// year is taken literally: a start year below 100 means that year of the
// first century. Only a damaged file can hold one, and unless the month
// carries it into the year 100 or later the date lies outside the years
// 100..9999 and cannot be formed.
std::optional<DateTime> StartDate(const TaskTable& t, int id) {
  return DateTime::FromParts(t.StartYear[id], t.StartMonth[id], t.StartDay[id]);
}

// The five checks, in order. The start date depends on the rule alone, so
// it is formed once per search rather than once per candidate.
bool RulePasses(const TaskTable& t, int id, DateTime candidate,
                const std::optional<DateTime>& start) {
  if (!Selected(t.HourMask[id], candidate.Hour())) return false;
  int year, month, day;
  candidate.YearMonthDay(year, month, day);
  if (!Selected(t.DayOfMonthMask[id], day - 1)) return false;
  if (!Selected(t.MonthMask[id], month - 1)) return false;
  if (!Selected(t.WeekdayMask[id], candidate.Weekday() - 1)) return false;
  // Each n days. An interval of 0 would divide by zero and a start date
  // that cannot be formed gives no distance: either way the check passes.
  const int n = t.EveryNDays[id];
  if (n == 0 || !start) return true;
  const int64_t distance = start->DayNumber() - candidate.DayNumber();
  return distance % n == 0;  // truncating: the signs play no part
}

}  // namespace

void FindOccurrencesOracle(TaskTable& table, int id, DateTime now) {
  if (HoldsText(table.PreviousOccurrence[id], kErrorMarker)) return;
  const DateTime base = now.StartOfHour();
  const std::optional<DateTime> start = StartDate(table, id);

  bool found = false;
  for (int16_t k = 0; k <= kScanHours; ++k) {
    const DateTime candidate = base.AddHours(-k);
    table.PreviousOccurrence[id] = candidate;
    if (RulePasses(table, id, candidate, start)) {
      found = true;
      break;
    }
  }
  if (!found) table.PreviousOccurrence[id] = std::string(kMoreThanOneYear);

  found = false;
  for (int16_t k = 1; k <= kScanHours; ++k) {
    const DateTime candidate = base.AddHours(k);
    table.NextOccurrence[id] = candidate;
    if (RulePasses(table, id, candidate, start)) {
      found = true;
      break;
    }
  }
  if (!found) table.NextOccurrence[id] = std::string(kMoreThanOneYear);
}

}  // namespace zelto::test
