#include "schedule/occurrences.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <optional>
#include <string>

// The rule test looks at the hour alone (hour mask) and at the date alone
// (day-of-month, month and weekday masks, each-n-days), so an hour passes
// exactly when its hour of the day is selected and its day passes. Instead
// of testing up to 17,601 hours one by one, the search finds the nearest
// passing day in each direction (by weekday, by the each-n-days days, or a
// month at a time as 31-bit day sets) and then takes the nearest selected
// hour of that day. The answers are those of the hour-by-hour scan, the
// partly covered days at the window's two ends included. Day numbers,
// weekdays and month lengths are DateTime's: there is one calendar.
namespace zelto {
namespace {

constexpr int kHoursPerDay = 24;
constexpr uint32_t kAllDays = 0x7FFFFFFFu;
constexpr uint32_t kAllMonths = 0xFFFu;
constexpr uint32_t kFebruary = 1u << 1;
constexpr uint32_t kThirtyDayMonths = 1u << 3 | 1u << 5 | 1u << 8 | 1u << 10;
// The month walk handles intervals below this; longer ones go day by day.
constexpr int32_t kLongInterval = 64;

using DT = DateTime;

// --- The rule as bit sets ---------------------------------------------------

// The editor's value as the table keeps it: only which entries hold 1
// matters to the search.
MaskColumn::Bits BitsOf(const Mask& mask) {
  MaskColumn::Bits bits;
  for (int k = 0; k < kMaskSize; ++k) bits.ones |= uint32_t{mask[k] == 1} << k;
  return bits;
}

// 0 = Sunday.
int WeekdayIndex(int64_t day) {
  return DT::WeekdayOfDay(day) - 1;
}

// FloorMod(a, n) for n > 0, in 32 bits whenever a fits: the intervals come
// from 16-bit fields, and a 64-bit division costs several times as much.
int32_t ModInterval(int64_t a, int32_t n) {
  if (a >= INT32_MIN && a <= INT32_MAX) {
    const int32_t r = static_cast<int32_t>(a) % n;
    return r < 0 ? r + n : r;
  }
  return static_cast<int32_t>(DT::FloorMod(a, n));
}

struct Rule {
  uint32_t hours = 0;     // bit h: hour h of the day
  uint32_t days = 0;      // bit d-1: day d of the month
  uint32_t months = 0;    // bit m-1: month m, if it has a selected day
  uint32_t weekdays = 0;  // bit w-1: weekday w, Sunday = 1
  // The each-n-days rule, when it can reject a day: the passing days d are
  // those with FloorMod(d, interval) == phase.
  bool stepped = false;
  int32_t interval = 1;
  int32_t phase = 0;

  // The day-of-month, month and weekday checks.
  bool CalendarPasses(int64_t day) const {
    int y, m, d;
    DT::CivilFromDayNumber(day, y, m, d);
    return ((months >> (m - 1)) & (days >> (d - 1)) & (weekdays >> WeekdayIndex(day)) & 1u) != 0;
  }
  bool DatePasses(int64_t day) const {
    return CalendarPasses(day) && (!stepped || ModInterval(day, interval) == phase);
  }
};

// The rule's fields, from a slot of the table or from the editor's value.
struct RuleFields {
  MaskColumn::Bits hourMask;
  MaskColumn::Bits weekdayMask;
  MaskColumn::Bits dayOfMonthMask;
  MaskColumn::Bits monthMask;
  int16_t everyNDays, startYear, startMonth, startDay;
};

Rule ReadRule(const RuleFields& f) {
  Rule r;
  r.hours = f.hourMask.Selected() & 0xFFFFFFu;
  r.days = f.dayOfMonthMask.Selected() & kAllDays;
  r.months = f.monthMask.Selected() & kAllMonths;
  r.weekdays = f.weekdayMask.Selected() & 0x7Fu;
  // A month too short for every selected day can never pass: dropping it
  // lets the month walk skip it.
  const int earliestDay = std::countr_zero(r.days) + 1;
  if (earliestDay >= 30) r.months &= ~kFebruary;
  if (earliestDay >= 31) r.months &= ~kThirtyDayMonths;
  const int n = f.everyNDays;
  if (n == 0 || n == 1 || n == -1) return r;  // 0 switches the rule off; ±1 lets every day pass
  // The start date rolls over like the data file's date parts, and its year
  // is taken literally: a year below 100 is a year of the first century,
  // which only a damaged file can hold. Unless the month carries it into
  // the year 100 or later, the start date lies outside the representable
  // years 100..9999, and a start date that cannot be formed lets every day
  // pass. This is DateTime::FromParts at midnight, without its general
  // checks, which 16-bit parts cannot fail.
  static const int64_t kFirstDay = DT::FromParts(DT::kMinYear, 1, 1)->DayNumber();
  static const int64_t kLastDay = DT::FromParts(DT::kMaxYear, 12, 31)->DayNumber();
  const int64_t start = DT::DayNumberOf(f.startYear, f.startMonth, f.startDay);
  if (start < kFirstDay || start > kLastDay) return r;
  // Only divisibility of the day distance matters, so the sign of the
  // interval does not.
  r.stepped = true;
  r.interval = n < 0 ? -n : n;
  r.phase = ModInterval(start, r.interval);
  return r;
}

// --- The window -------------------------------------------------------------

// Hours and days are counted from the zero date-time. The backward scan
// covers the hours [base - kSearchHours, base], the forward scan
// (base, base + kSearchHours]; both ends fall in the middle of a day.
struct Window {
  int64_t baseDay;
  int baseHour;
  int64_t lowDay;  // the earliest day, whose hours from lowHour on are inside
  int lowHour;
  int64_t highDay;  // the latest day, whose hours up to highHour are inside
  int highHour;

  explicit Window(DateTime now) {
    // kSearchHours is 366 days and 16 hours.
    constexpr int kDaysOut = kSearchHours / kHoursPerDay;
    constexpr int kHoursOut = kSearchHours % kHoursPerDay;
    baseDay = now.DayNumber();
    baseHour = now.Hour();
    const bool lowBorrows = baseHour < kHoursOut;
    lowDay = baseDay - kDaysOut - lowBorrows;
    lowHour = baseHour - kHoursOut + (lowBorrows ? kHoursPerDay : 0);
    const bool highCarries = baseHour + kHoursOut >= kHoursPerDay;
    highDay = baseDay + kDaysOut + highCarries;
    highHour = baseHour + kHoursOut - (highCarries ? kHoursPerDay : 0);
  }
};

int HighestBit(uint32_t bits) {
  return 31 - std::countl_zero(bits);
}
int LowestBit(uint32_t bits) {
  return std::countr_zero(bits);
}

// Hours of the day up to and including h, and after h.
uint32_t HoursUpTo(int h) {
  return (2u << h) - 1;
}
uint32_t HoursAfter(int h) {
  return ~HoursUpTo(h);
}

// --- Month by month ---------------------------------------------------------

// The rule's day patterns as periodic bit runs: a month's passing days are
// these runs shifted to the month's first day and masked with its days of
// the month. The walk goes from one selected month straight to the next.
class MonthPatterns {
  // For an interval n below kLongInterval: bits 0, n, 2n, ...
  static constexpr auto kStepRuns = [] {
    std::array<uint64_t, kLongInterval> runs{};
    for (int n = 1; n < kLongInterval; ++n) {
      for (int i = 0; i < 64; i += n) runs[n] |= uint64_t{1} << i;
    }
    return runs;
  }();
  // For the same n: 2^64 / n rounded up, to take remainders by n without
  // dividing (0 for n = 1, for which every remainder is 0).
  static constexpr auto kReciprocals = [] {
    std::array<uint64_t, kLongInterval> reciprocals{};
    for (uint64_t n = 1; n < kLongInterval; ++n) reciprocals[n] = UINT64_MAX / n + 1;
    return reciprocals;
  }();

 public:
  struct Month {
    int64_t first;  // day number of the month's first day
    int year;
    int month;
    int length;
    int weekdayOfFirst;  // 0 = Sunday
    int32_t toStep;      // days from the first day to the next each-n-days day
  };

  // For rules without each-n-days or with an interval below kLongInterval.
  explicit MonthPatterns(const Rule& rule)
      : months_(rule.months),
        days_(rule.days),
        // Copies of the 7 weekday bits at every multiple of 7 (bit 63 too).
        weekdayRun_(uint64_t{rule.weekdays} * 0x8102040810204081u),
        stepped_(rule.stepped),
        interval_(rule.stepped ? rule.interval : 1),
        phase_(rule.phase),
        stepRun_(!rule.stepped ? ~uint64_t{0} : kStepRuns[rule.interval]) {
    if (!stepped_) return;
    const int32_t step28 = 28 % interval_;
    for (int i = 0; i < 4; ++i) {
      lengthStep_[i] = step28 + i >= interval_ ? step28 + i - interval_ : step28 + i;
    }
  }

  Month MonthOf(int64_t day) const {
    Month m;
    int d;
    DT::CivilFromDayNumber(day, m.year, m.month, d);
    m.first = day - (d - 1);
    m.length = Length(m.year, m.month);
    m.weekdayOfFirst = WeekdayIndex(m.first);
    m.toStep = stepped_ ? ModInterval(phase_ - m.first, interval_) : 0;
    return m;
  }

  // Bit i: the month's day i + 1 passes.
  uint32_t PassingDays(const Month& m) const {
    if (!Selected(m.month)) return 0;
    uint32_t bits = days_ & ((uint32_t{1} << m.length) - 1);
    bits &= static_cast<uint32_t>(weekdayRun_ >> m.weekdayOfFirst);
    bits &= m.toStep < 64 ? static_cast<uint32_t>(stepRun_ << m.toStep) : 0;
    return bits;
  }

  // To the next or previous month that the month mask selects (there is
  // one: a rule without months never gets here).
  void NextSelected(Month& m) const {
    const uint32_t later = months_ >> m.month;
    if (Selected(m.month == 12 ? 1 : m.month + 1)) {
      StepForward(m);
      return;
    }
    int year = m.year;
    int64_t yearStart = m.first - DT::DaysBeforeMonth(year, m.month);
    int month;
    if (later != 0) {
      month = m.month + 1 + std::countr_zero(later);
    } else {
      yearStart += DT::DaysBeforeMonth(year, 13);
      ++year;
      month = 1 + std::countr_zero(months_);
    }
    JumpTo(m, year, month, yearStart);
  }

  void PreviousSelected(Month& m) const {
    const uint32_t earlier = months_ & ((uint32_t{1} << (m.month - 1)) - 1);
    if (Selected(m.month == 1 ? 12 : m.month - 1)) {
      StepBack(m);
      return;
    }
    int year = m.year;
    int64_t yearStart = m.first - DT::DaysBeforeMonth(year, m.month);
    int month;
    if (earlier != 0) {
      month = 32 - std::countl_zero(earlier);
    } else {
      --year;
      yearStart -= DT::DaysBeforeMonth(year, 13);
      month = 32 - std::countl_zero(months_);
    }
    JumpTo(m, year, month, yearStart);
  }

 private:
  bool Selected(int month) const { return (months_ >> (month - 1) & 1u) != 0; }

  static int Length(int year, int month) { return DT::DaysInMonth(year, month); }

  // The neighbouring month: the phases move by 28..31 days, no division.
  void StepForward(Month& m) const {
    m.first += m.length;
    m.weekdayOfFirst += m.length - 28;
    if (m.weekdayOfFirst >= 7) m.weekdayOfFirst -= 7;
    m.toStep -= lengthStep_[m.length - 28];
    if (m.toStep < 0) m.toStep += interval_;
    if (++m.month > 12) {
      m.month = 1;
      ++m.year;
    }
    m.length = Length(m.year, m.month);
  }

  void StepBack(Month& m) const {
    if (--m.month < 1) {
      m.month = 12;
      --m.year;
    }
    m.length = Length(m.year, m.month);
    m.first -= m.length;
    m.weekdayOfFirst -= m.length - 28;
    if (m.weekdayOfFirst < 0) m.weekdayOfFirst += 7;
    m.toStep += lengthStep_[m.length - 28];
    if (m.toStep >= interval_) m.toStep -= interval_;
  }

  // Over unselected months.
  void JumpTo(Month& m, int year, int month, int64_t yearStart) const {
    const int64_t first = yearStart + DT::DaysBeforeMonth(year, month);
    const int32_t shift = static_cast<int32_t>(first - m.first);  // within a year
    m.weekdayOfFirst = (m.weekdayOfFirst + shift % 7 + 7) % 7;
    // FloorMod(toStep - shift, n) without a division (Lemire's method, with
    // a multiple of n added to make the dividend positive).
    const uint32_t dividend = static_cast<uint32_t>(m.toStep - shift + 366 * interval_);
    const unsigned __int128 fraction = kReciprocals[interval_] * dividend;
    m.toStep = static_cast<int32_t>((fraction * static_cast<uint32_t>(interval_)) >> 64);
    m.first = first;
    m.year = year;
    m.month = month;
    m.length = Length(year, month);
  }

  uint32_t months_;
  uint32_t days_;
  uint64_t weekdayRun_;  // bit i: weekday (i mod 7) selected
  bool stepped_;
  int32_t interval_;
  int32_t phase_;
  uint64_t stepRun_;                      // bits 0, n, 2n, ... (all bits without the rule)
  int32_t lengthStep_[4] = {0, 0, 0, 0};  // 28..31 mod n
};

using Month = MonthPatterns::Month;

// --- Three ways to the nearest passing days ---------------------------------
//
// Each route answers: does the base day pass, which is the latest passing
// day in [lowDay, baseDay - 1], and which the earliest in [baseDay + 1,
// highDay]?

// Rules that select every day of every month: only the weekday and the
// each-n-days rule decide. The each-n-days days (every day without the rule)
// run through the weekdays with period 7, so seven of them settle whether
// any ever passes.
class WeekdayRoute {
 public:
  WeekdayRoute(const Rule& r, const Window& w)
      : r_(r), w_(w), n_(r.stepped ? r.interval : 1), weekdayStep_(n_ % 7) {}

  bool Today() const {
    return (r_.weekdays >> WeekdayIndex(w_.baseDay) & 1u) != 0 &&
           (!r_.stepped || ModInterval(w_.baseDay, n_) == r_.phase);
  }

  std::optional<int64_t> Latest() const {
    int64_t day = w_.baseDay - 1;
    if (r_.stepped) day -= ModInterval(day - r_.phase, n_);
    int weekday = WeekdayIndex(day);
    for (int k = 0; k < 7 && day >= w_.lowDay; ++k) {
      if ((r_.weekdays >> weekday & 1u) != 0) return day;
      day -= n_;
      weekday -= weekdayStep_;
      if (weekday < 0) weekday += 7;
    }
    return std::nullopt;
  }

  std::optional<int64_t> Earliest() const {
    int64_t day = w_.baseDay + 1;
    if (r_.stepped) day += ModInterval(r_.phase - day, n_);
    int weekday = WeekdayIndex(day);
    for (int k = 0; k < 7 && day <= w_.highDay; ++k) {
      if ((r_.weekdays >> weekday & 1u) != 0) return day;
      day += n_;
      weekday += weekdayStep_;
      if (weekday >= 7) weekday -= 7;
    }
    return std::nullopt;
  }

 private:
  const Rule& r_;
  const Window& w_;
  int32_t n_;
  int weekdayStep_;
};

// Rules with an interval of kLongInterval days or more: at most six of its
// days fall within each half of the window, and visiting them is quicker
// than walking the months.
class StepRoute {
 public:
  StepRoute(const Rule& r, const Window& w) : r_(r), w_(w) {}

  bool Today() const { return r_.DatePasses(w_.baseDay); }

  std::optional<int64_t> Latest() const {
    int64_t day = w_.baseDay - 1;
    day -= ModInterval(day - r_.phase, r_.interval);
    for (; day >= w_.lowDay; day -= r_.interval) {
      if (r_.CalendarPasses(day)) return day;
    }
    return std::nullopt;
  }

  std::optional<int64_t> Earliest() const {
    int64_t day = w_.baseDay + 1;
    day += ModInterval(r_.phase - day, r_.interval);
    for (; day <= w_.highDay; day += r_.interval) {
      if (r_.CalendarPasses(day)) return day;
    }
    return std::nullopt;
  }

 private:
  const Rule& r_;
  const Window& w_;
};

// Everything else: walk out from the base day's month, a selected month at
// a time.
class MonthRoute {
 public:
  MonthRoute(const Rule& r, const Window& w) : p_(r), w_(w), base_(p_.MonthOf(w.baseDay)) {}

  bool Today() const { return (p_.PassingDays(base_) >> (w_.baseDay - base_.first) & 1u) != 0; }

  std::optional<int64_t> Latest() const {
    Month m = base_;
    uint32_t bits = p_.PassingDays(m) & ((uint32_t{1} << (w_.baseDay - m.first)) - 1);
    for (;;) {
      if (m.first <= w_.lowDay) {  // the window begins in this month, or after it
        if (m.first + m.length <= w_.lowDay) return std::nullopt;
        bits &= ~((uint32_t{1} << (w_.lowDay - m.first)) - 1);
        if (bits == 0) return std::nullopt;
      }
      if (bits != 0) return m.first + HighestBit(bits);
      p_.PreviousSelected(m);
      bits = p_.PassingDays(m);
    }
  }

  std::optional<int64_t> Earliest() const {
    Month m = base_;
    uint32_t bits = p_.PassingDays(m) & ~((uint32_t{2} << (w_.baseDay - m.first)) - 1);
    for (;;) {
      if (m.first + m.length > w_.highDay) {  // the window ends in this month, or before it
        if (m.first > w_.highDay) return std::nullopt;
        bits &= (uint32_t{2} << (w_.highDay - m.first)) - 1;
        if (bits == 0) return std::nullopt;
      }
      if (bits != 0) return m.first + LowestBit(bits);
      p_.NextSelected(m);
      bits = p_.PassingDays(m);
    }
  }

 private:
  MonthPatterns p_;
  const Window& w_;
  Month base_;
};

// --- The search -------------------------------------------------------------

struct Found {
  std::optional<int64_t> previous;  // hours since the zero date-time
  std::optional<int64_t> next;
};

template <typename Route>
Found SearchBy(const Route& route, const Rule& r, const Window& w) {
  Found f;
  const int64_t baseHours = w.baseDay * kHoursPerDay;
  const uint32_t hoursToday = r.hours & HoursUpTo(w.baseHour);
  const uint32_t hoursLater = r.hours & HoursAfter(w.baseHour);
  if ((hoursToday != 0 || hoursLater != 0) && route.Today()) {
    if (hoursToday != 0) f.previous = baseHours + HighestBit(hoursToday);
    if (hoursLater != 0) f.next = baseHours + LowestBit(hoursLater);
  }
  // Every selected hour of a day strictly inside the window is a candidate;
  // on the two edge days only part of the day is.
  if (!f.previous) {
    const auto day = route.Latest();
    const int hour = HighestBit(r.hours);
    if (day && (*day > w.lowDay || hour >= w.lowHour)) f.previous = *day * kHoursPerDay + hour;
  }
  if (!f.next) {
    const auto day = route.Earliest();
    const int hour = LowestBit(r.hours);
    if (day && (*day < w.highDay || hour <= w.highHour)) f.next = *day * kHoursPerDay + hour;
  }
  return f;
}

Found Search(const Rule& r, const Window& w) {
  // An interval divisible by 7 keeps to one weekday; if that one is not
  // selected, nothing passes.
  if (r.stepped && r.interval % 7 == 0 && (r.weekdays >> WeekdayIndex(r.phase) & 1u) == 0) {
    return {};
  }
  if (r.days == kAllDays && r.months == kAllMonths) return SearchBy(WeekdayRoute(r, w), r, w);
  if (r.stepped && r.interval >= kLongInterval) return SearchBy(StepRoute(r, w), r, w);
  return SearchBy(MonthRoute(r, w), r, w);
}

void Store(Occurrence& field, const std::optional<int64_t>& hours) {
  if (hours) {
    field = DT::FromSeconds(*hours * DT::kSecondsPerHour);
  } else {
    field = Occurrence(kMoreThanOneYear);  // a marker: nothing to allocate
  }
}

bool CanPass(const Rule& r) {
  return r.hours != 0 && r.days != 0 && r.months != 0 && r.weekdays != 0;
}

}  // namespace

void FindOccurrences(TaskTable& table, int id, DateTime now) {
  if (HoldsText(table.PreviousOccurrence[id], kErrorMarker)) return;
  const Rule rule = ReadRule({table.HourMask[id].AsBits(), table.WeekdayMask[id].AsBits(),
                              table.DayOfMonthMask[id].AsBits(), table.MonthMask[id].AsBits(),
                              table.EveryNDays[id], table.StartYear[id], table.StartMonth[id],
                              table.StartDay[id]});
  Found found;
  if (CanPass(rule)) found = Search(rule, Window(now));
  Store(table.PreviousOccurrence[id], found.previous);
  Store(table.NextOccurrence[id], found.next);
}

std::vector<DateTime> NextOccurrences(const TaskValue& value, DateTime now, int count) {
  std::vector<DateTime> hours;
  const Rule rule = ReadRule({BitsOf(value.HourMask), BitsOf(value.WeekdayMask),
                              BitsOf(value.DayOfMonthMask), BitsOf(value.MonthMask),
                              value.EveryNDays, value.StartYear, value.StartMonth, value.StartDay});
  if (!CanPass(rule)) return hours;
  hours.reserve(static_cast<size_t>(std::max(count, 0)));
  DateTime from = now;
  while (static_cast<int>(hours.size()) < count) {
    const std::optional<int64_t> next = Search(rule, Window(from)).next;
    if (!next) break;
    from = DT::FromSeconds(*next * DT::kSecondsPerHour);
    hours.push_back(from);
  }
  return hours;
}

}  // namespace zelto
