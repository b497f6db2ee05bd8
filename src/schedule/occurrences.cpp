#include "schedule/occurrences.h"

#include <array>
#include <bit>
#include <cstdint>
#include <optional>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The rule test looks at the hour alone (hour mask) and at the date alone
// (day-of-month, month and weekday masks, each-n-days), so an hour passes
// exactly when its hour of the day is selected and its day passes. Instead
// of testing up to 17,601 hours one by one, the search finds the nearest
// passing day in each direction, a month at a time as 31-bit day sets, and
// then picks the nearest selected hour on that day. The answers are the
// same as those of the hour-by-hour scan, window edges included.
namespace zelto {
namespace {

constexpr int64_t kHoursPerDay = 24;

using DT = DateTime;

// --- The rule as bit sets ---------------------------------------------------

#if defined(__SSE2__)
// Bit k set when p[k] == 1, for k = 0..7.
inline uint32_t OnesOf8(const int16_t* p) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i eq = _mm_cmpeq_epi16(v, _mm_set1_epi16(1));
  return static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(eq, _mm_setzero_si128())));
}
// Bit k set when p[k] == 1, for k = 0..15.
inline uint32_t OnesOf16(const int16_t* p) {
  const __m128i one = _mm_set1_epi16(1);
  const __m128i a = _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), one);
  const __m128i b = _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8)), one);
  return static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(a, b)));
}
#else
inline uint32_t OnesOfN(const int16_t* p, int n) {
  uint32_t bits = 0;
  for (int k = 0; k < n; ++k) bits |= static_cast<uint32_t>(p[k] == 1) << k;
  return bits;
}
inline uint32_t OnesOf8(const int16_t* p) {
  return OnesOfN(p, 8);
}
inline uint32_t OnesOf16(const int16_t* p) {
  return OnesOfN(p, 16);
}
#endif

// Only an entry holding exactly 1 selects; a mask's entries are contiguous,
// and no read goes past entry 30.
uint32_t HourBits(const Mask& m) {
  const int16_t* p = &m[0];
  return OnesOf16(p) | (OnesOf8(p + 16) << 16);
}
uint32_t DayOfMonthBits(const Mask& m) {
  const int16_t* p = &m[0];
  return OnesOf16(p) | (OnesOf16(p + 15) << 15);
}
uint32_t MonthBits(const Mask& m) {
  return OnesOf16(&m[0]) & 0xFFFu;
}
uint32_t WeekdayBits(const Mask& m) {
  return OnesOf8(&m[0]) & 0x7Fu;
}

struct Rule {
  uint32_t hours = 0;     // bit h: hour h of the day
  uint32_t days = 0;      // bit d-1: day d of the month
  uint32_t months = 0;    // bit m-1: month m
  uint32_t weekdays = 0;  // bit w-1: weekday w, Sunday = 1
  // The each-n-days rule, when it can reject a day: the passing days d are
  // those with FloorMod(d, interval) == phase.
  bool stepped = false;
  int64_t interval = 1;
  int64_t phase = 0;

  bool DatePasses(int64_t day) const {
    int y, m, d;
    DT::CivilFromDayNumber(day, y, m, d);
    const int w = DT::WeekdayOfDay(day);
    return ((months >> (m - 1)) & (days >> (d - 1)) & (weekdays >> (w - 1)) & 1u) != 0 &&
           (!stepped || DT::FloorMod(day, interval) == phase);
  }
};

Rule ReadRule(const TaskTable& t, int id) {
  Rule r;
  r.hours = HourBits(t.HourMask[id]);
  r.days = DayOfMonthBits(t.DayOfMonthMask[id]);
  r.months = MonthBits(t.MonthMask[id]);
  r.weekdays = WeekdayBits(t.WeekdayMask[id]);
  const int n = t.EveryNDays[id];
  if (n == 0 || n == 1 || n == -1) return r;  // 0 switches the rule off; ±1 lets every day pass
  // The start year is taken literally, as the data file's date parts are: a
  // year below 100 is a year of the first century, which only a damaged file
  // can hold. Unless the month carries it into the year 100 or later, the
  // start date lies outside the representable years 100..9999, and a start
  // date that cannot be formed lets every day pass.
  const auto start = DT::FromParts(t.StartYear[id], t.StartMonth[id], t.StartDay[id]);
  if (!start) return r;
  // Only divisibility of the day distance matters, so the sign of the
  // interval does not.
  r.stepped = true;
  r.interval = n < 0 ? -int64_t{n} : int64_t{n};
  r.phase = DT::FloorMod(start->DayNumber(), r.interval);
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

  explicit Window(DateTime base) {
    const int64_t hour = DT::FloorDiv(base.Seconds(), DT::kSecondsPerHour);
    baseDay = DT::FloorDiv(hour, kHoursPerDay);
    baseHour = static_cast<int>(hour - baseDay * kHoursPerDay);
    lowDay = DT::FloorDiv(hour - kSearchHours, kHoursPerDay);
    lowHour = static_cast<int>(hour - kSearchHours - lowDay * kHoursPerDay);
    highDay = DT::FloorDiv(hour + kSearchHours, kHoursPerDay);
    highHour = static_cast<int>(hour + kSearchHours - highDay * kHoursPerDay);
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

bool IsLeapYear(int64_t y) {
  return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0);
}

int DaysInMonth(int64_t year, int month) {
  static constexpr int8_t kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Walks the calendar a month at a time and gives, for each month, the set
// of its days that pass (bit i: the month's day i + 1). The weekday and
// each-n-days patterns are periodic bit runs shifted into place; their
// phases move by the month's length, so no division is needed per month.
class MonthWalk {
  // For an interval n below 64: bits 0, n, 2n, ... and 28 mod n.
  static constexpr auto kStepRuns = [] {
    std::array<uint64_t, 64> runs{};
    for (int n = 1; n < 64; ++n) {
      for (int i = 0; i < 64; i += n) runs[n] |= uint64_t{1} << i;
    }
    return runs;
  }();
  static constexpr auto kLengthStep28 = [] {
    std::array<int8_t, 64> steps{};
    for (int n = 1; n < 64; ++n) steps[n] = static_cast<int8_t>(28 % n);
    return steps;
  }();

 public:
  MonthWalk(const Rule& rule, int64_t day) : rule_(rule) {
    int d;
    DT::CivilFromDayNumber(day, year_, month_, d);
    first_ = day - (d - 1);
    length_ = DaysInMonth(year_, month_);
    weekdayOfFirst_ = DT::WeekdayOfDay(first_) - 1;
    // Copies of the 7 weekday bits at every multiple of 7 (bit 63 too).
    weekdayRun_ = uint64_t{rule.weekdays} * 0x8102040810204081u;
    if (rule.stepped) {
      const int64_t n = rule.interval;
      stepRun_ = n < 64 ? kStepRuns[n] : 1;
      const int64_t step28 = n < 64 ? kLengthStep28[n] : 28;
      for (int i = 0; i < 4; ++i) {
        lengthStep_[i] = step28 + i >= n ? step28 + i - n : step28 + i;
      }
      toStep_ = DT::FloorMod(rule.phase - first_, n);
    }
  }

  int64_t First() const { return first_; }
  int64_t Last() const { return first_ + length_ - 1; }

  uint32_t PassingDays() const {
    if ((rule_.months >> (month_ - 1) & 1u) == 0) return 0;
    uint32_t bits = rule_.days & ((uint32_t{1} << length_) - 1);
    bits &= static_cast<uint32_t>(weekdayRun_ >> weekdayOfFirst_);
    if (rule_.stepped) bits &= toStep_ < 64 ? static_cast<uint32_t>(stepRun_ << toStep_) : 0;
    return bits;
  }

  void Next() {
    first_ += length_;
    weekdayOfFirst_ += length_ - 28;
    if (weekdayOfFirst_ >= 7) weekdayOfFirst_ -= 7;
    if (rule_.stepped) {
      toStep_ -= lengthStep_[length_ - 28];
      if (toStep_ < 0) toStep_ += rule_.interval;
    }
    if (++month_ > 12) {
      month_ = 1;
      ++year_;
    }
    length_ = DaysInMonth(year_, month_);
  }

  void Previous() {
    if (--month_ < 1) {
      month_ = 12;
      --year_;
    }
    length_ = DaysInMonth(year_, month_);
    first_ -= length_;
    weekdayOfFirst_ -= length_ - 28;
    if (weekdayOfFirst_ < 0) weekdayOfFirst_ += 7;
    if (rule_.stepped) {
      toStep_ += lengthStep_[length_ - 28];
      if (toStep_ >= rule_.interval) toStep_ -= rule_.interval;
    }
  }

 private:
  const Rule& rule_;
  int year_ = 0;
  int month_ = 1;
  int64_t first_ = 0;  // day number of the month's first day
  int length_ = 31;
  int weekdayOfFirst_ = 0;   // 0 = Sunday
  uint64_t weekdayRun_ = 0;  // bit i: weekday (i mod 7) selected
  uint64_t stepRun_ = 0;     // bits 0, n, 2n, ...
  int64_t lengthStep_[4] = {0, 0, 0, 0};
  int64_t toStep_ = 0;  // days from the month's first day to the next each-n-days day
};

struct Found {
  std::optional<int64_t> previous;  // hours since the zero date-time
  std::optional<int64_t> next;
};

// The latest passing day in [lowDay, baseDay - 1], then the earliest in
// [baseDay + 1, highDay], starting from baseDay's month.
std::optional<int64_t> LatestDayByMonth(MonthWalk walk, const Window& w) {
  uint32_t bits = walk.PassingDays() & ((uint32_t{1} << (w.baseDay - walk.First())) - 1);
  for (;;) {
    const bool lastMonth = walk.First() <= w.lowDay;
    if (lastMonth) bits &= ~((uint32_t{1} << (w.lowDay - walk.First())) - 1);
    if (bits != 0) return walk.First() + HighestBit(bits);
    if (lastMonth) return std::nullopt;
    walk.Previous();
    bits = walk.PassingDays();
  }
}

std::optional<int64_t> EarliestDayByMonth(MonthWalk walk, const Window& w) {
  uint32_t bits = walk.PassingDays() & ~((uint32_t{2} << (w.baseDay - walk.First())) - 1);
  for (;;) {
    const bool lastMonth = walk.Last() >= w.highDay;
    if (lastMonth) bits &= (uint32_t{2} << (w.highDay - walk.First())) - 1;
    if (bits != 0) return walk.First() + LowestBit(bits);
    if (lastMonth) return std::nullopt;
    walk.Next();
    bits = walk.PassingDays();
  }
}

// --- Long intervals ---------------------------------------------------------

// With an interval longer than a month, at most one day a month can pass:
// visiting the each-n-days days themselves is quicker than walking months.
std::optional<int64_t> LatestDayByStep(const Rule& r, const Window& w) {
  int64_t day = w.baseDay - 1;
  day -= DT::FloorMod(day - r.phase, r.interval);
  for (; day >= w.lowDay; day -= r.interval) {
    if (r.DatePasses(day)) return day;
  }
  return std::nullopt;
}

std::optional<int64_t> EarliestDayByStep(const Rule& r, const Window& w) {
  int64_t day = w.baseDay + 1;
  day += DT::FloorMod(r.phase - day, r.interval);
  for (; day <= w.highDay; day += r.interval) {
    if (r.DatePasses(day)) return day;
  }
  return std::nullopt;
}

// --- The search -------------------------------------------------------------

Found Search(const Rule& r, const Window& w) {
  Found f;
  const uint32_t hoursToday = r.hours & HoursUpTo(w.baseHour);
  const uint32_t hoursLater = r.hours & HoursAfter(w.baseHour);
  const int64_t baseHours = w.baseDay * kHoursPerDay;

  std::optional<int64_t> before, after;
  if (r.stepped && r.interval > 31) {
    if ((hoursToday != 0 || hoursLater != 0) && r.DatePasses(w.baseDay)) {
      if (hoursToday != 0) f.previous = baseHours + HighestBit(hoursToday);
      if (hoursLater != 0) f.next = baseHours + LowestBit(hoursLater);
    }
    if (!f.previous) before = LatestDayByStep(r, w);
    if (!f.next) after = EarliestDayByStep(r, w);
  } else {
    const MonthWalk walk(r, w.baseDay);
    if (walk.PassingDays() >> (w.baseDay - walk.First()) & 1u) {
      if (hoursToday != 0) f.previous = baseHours + HighestBit(hoursToday);
      if (hoursLater != 0) f.next = baseHours + LowestBit(hoursLater);
    }
    if (!f.previous) before = LatestDayByMonth(walk, w);
    if (!f.next) after = EarliestDayByMonth(walk, w);
  }

  // Every selected hour of a day strictly inside the window is a candidate;
  // on the two edge days only part of the day is.
  if (before) {
    const int hour = HighestBit(r.hours);
    if (*before > w.lowDay || hour >= w.lowHour) f.previous = *before * kHoursPerDay + hour;
  }
  if (after) {
    const int hour = LowestBit(r.hours);
    if (*after < w.highDay || hour <= w.highHour) f.next = *after * kHoursPerDay + hour;
  }
  return f;
}

void StoreMoreThanOneYear(Occurrence& field) {
  // The marker is longer than a short string's inline buffer: reusing a
  // string already in the field keeps repeated searches from allocating.
  if (auto* text = std::get_if<std::string>(&field)) {
    if (*text != kMoreThanOneYear) text->assign(kMoreThanOneYear);
  } else {
    field.emplace<std::string>(kMoreThanOneYear);
  }
}

void Store(Occurrence& field, const std::optional<int64_t>& hours) {
  if (hours) {
    field = DT::FromSeconds(*hours * DT::kSecondsPerHour);
  } else {
    StoreMoreThanOneYear(field);
  }
}

}  // namespace

void FindOccurrences(TaskTable& table, int id, DateTime now) {
  if (HoldsText(table.PreviousOccurrence[id], kErrorMarker)) return;
  const Rule rule = ReadRule(table, id);
  Found found;
  if (rule.hours != 0 && rule.days != 0 && rule.months != 0 && rule.weekdays != 0) {
    found = Search(rule, Window(now.StartOfHour()));
  }
  Store(table.PreviousOccurrence[id], found.previous);
  Store(table.NextOccurrence[id], found.next);
}

}  // namespace zelto
