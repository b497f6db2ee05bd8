#include "schedule/occurrences.h"

namespace zelto {
namespace {

bool Selected(const Mask& mask, int k) {
  return mask[k] == 1;
}

bool Passes(const TaskTable& t, int id, DateTime c) {
  int y, m, d;
  c.YearMonthDay(y, m, d);
  if (!Selected(t.HourMask[id], c.Hour())) return false;
  if (!Selected(t.DayOfMonthMask[id], d - 1)) return false;
  if (!Selected(t.MonthMask[id], m - 1)) return false;
  if (!Selected(t.WeekdayMask[id], c.Weekday() - 1)) return false;
  const int n = t.EveryNDays[id];
  if (n == 0) return true;
  const auto start = DateTime::FromParts(t.StartYear[id], t.StartMonth[id], t.StartDay[id]);
  if (!start) return true;
  const int64_t distance = start->DayNumber() - c.DayNumber();
  return distance % n == 0;
}

}  // namespace

void FindOccurrences(TaskTable& table, int id, DateTime now) {
  if (HoldsText(table.PreviousOccurrence[id], kErrorMarker)) return;
  const DateTime base = now.StartOfHour();
  table.PreviousOccurrence[id] = std::string(kMoreThanOneYear);
  for (int k = 0; k <= kSearchHours; ++k) {
    if (Passes(table, id, base.AddHours(-k))) {
      table.PreviousOccurrence[id] = base.AddHours(-k);
      break;
    }
  }
  table.NextOccurrence[id] = std::string(kMoreThanOneYear);
  for (int k = 1; k <= kSearchHours; ++k) {
    if (Passes(table, id, base.AddHours(k))) {
      table.NextOccurrence[id] = base.AddHours(k);
      break;
    }
  }
}

}  // namespace zelto
