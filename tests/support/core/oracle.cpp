#include "support/core/oracle.h"

#include <optional>
#include <string>

namespace zelto::test {
namespace {

constexpr int kScanHours = 8800;

// Read entry by entry: a whole Mask made for every look would make the
// brute force several times slower still.
bool Selected(MaskColumn::ConstRef mask, int k) {
  return mask[k] == 1;
}

// The five checks, in order. `start` is the each-n-days start date, which
// depends on the rule alone.
bool RulePasses(const TaskTable& t, int id, DateTime candidate,
                const std::optional<DateTime>& start) {
  if (!Selected(t.HourMask[id], candidate.Hour())) return false;
  int year, month, day;
  candidate.YearMonthDay(year, month, day);
  if (!Selected(t.DayOfMonthMask[id], day - 1)) return false;
  if (!Selected(t.MonthMask[id], month - 1)) return false;
  if (!Selected(t.WeekdayMask[id], candidate.Weekday() - 1)) return false;
  // An interval of 0 (division by zero) or no start date: the check passes.
  const int n = t.EveryNDays[id];
  if (n == 0 || !start) return true;
  return (start->DayNumber() - candidate.DayNumber()) % n == 0;  // truncating remainder
}

// Each candidate is stored in the field, then tested; the first to pass stays.
void Scan(const TaskTable& t, int id, Occurrence& field, DateTime base, int16_t first, int step,
          const std::optional<DateTime>& start) {
  for (int16_t k = first; k <= kScanHours; ++k) {
    const DateTime candidate = base.AddHours(step * k);
    field = candidate;
    if (RulePasses(t, id, candidate, start)) return;
  }
  field = std::string(kMoreThanOneYear);
}

}  // namespace

void FindOccurrencesOracle(TaskTable& t, int id, DateTime now) {
  if (HoldsText(t.PreviousOccurrence[id], kErrorMarker)) return;
  const DateTime base = now.StartOfHour();
  // Rolled over like the data file's date parts. The year is literal: below
  // 100 there is no date unless the month carries it into the year 100.
  const auto start = DateTime::FromParts(t.StartYear[id], t.StartMonth[id], t.StartDay[id]);
  Scan(t, id, t.PreviousOccurrence[id], base, 0, -1, start);
  Scan(t, id, t.NextOccurrence[id], base, 1, 1, start);
}

}  // namespace zelto::test
