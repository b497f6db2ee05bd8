#include "store/datafile.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "store/convert.h"
#include "store/filebytes.h"
#include "store/linereader.h"

namespace zelto {
namespace {

constexpr std::string_view kEndMarker = "*** end";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Editors leave blanks at the end of a line that nobody sees; a marker line
// is still a marker with them.
std::string_view WithoutTrailingBlanks(std::string_view line) {
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
  return line;
}

// The three record generations differ only in their separator line and in
// how lines 3 and 4 of a record read.
enum class Generation {
  V1,  // "***": general date texts, occurrences kept as text; line 4 = TaskChecked
  V2,  // "****": file date-times; line 4 = TaskChecked
  V3,  // "*****": file date-times; line 4 = TaskChecked and the each-n-days rule
};

// The integers the program writes are plain "-123" (ids with a blank on
// either side): those are read here directly, everything else (TABs,
// fractions, signs, exponents) by the general conversion.
inline std::optional<int16_t> ToInt16(std::string_view text) {
  const char* p = text.data();
  const char* end = p + text.size();
  if (p != end && *p == ' ') ++p;
  if (p != end && end[-1] == ' ') --end;
  const bool negative = p != end && *p == '-';
  const char* digits = p + negative;
  if (digits != end && end - digits <= 5) {
    int value = 0;
    const char* q = digits;
    for (; q != end && *q >= '0' && *q <= '9'; ++q) value = value * 10 + (*q - '0');
    if (q == end) {
      value = negative ? -value : value;
      if (value >= -32768 && value <= 32767) return static_cast<int16_t>(value);
      return std::nullopt;
    }
  }
  return ParseInt16(text);
}

// Calls field(k, text) for the fields 0..limit-1 of the line split at the
// separator; fields after them are never looked at. "a," has the two fields
// "a" and "".
template <typename Field>
void ForEachField(std::string_view line, char separator, int limit, Field&& field) {
  const char* p = line.data();
  const char* const end = p + line.size();
  for (int k = 0; k < limit; ++k) {
    const char* q = p;
    while (q != end && *q != separator) ++q;
    field(k, std::string_view(p, static_cast<std::size_t>(q - p)));
    if (q == end) return;
    p = q + 1;
  }
}

inline bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Day numbers for the years a date field in the program's own shape can
// hold (0..9999 before the bounds check, 100..9999 after it): the general
// calendar's count of days in unsigned arithmetic with a table for the
// months, which needs no floor division because every value stays
// positive. Years start in March, so that a leap day ends the year.
inline uint32_t DaysFromCivilPositive(uint32_t year, uint32_t month, uint32_t day) {
  static constexpr uint16_t kDaysBefore[13] = {0,   306, 337, 0,   31,  61, 92,
                                               122, 153, 184, 214, 245, 275};
  const uint32_t y = year - (month <= 2);
  const auto centuries = static_cast<uint32_t>((uint64_t{y} * 0x51EB851F) >> 37);  // y / 100
  return y * 365 + y / 4 - centuries + centuries / 4 + kDaysBefore[month] + day - 1;
}

// The offset between the count above and DateTime's day numbers, taken from
// DateTime itself so that the two can never disagree.
const int64_t kPositiveDayShift =
    DateTime::DayNumberOf(2000, 3, 1) - int64_t{DaysFromCivilPositive(2000, 3, 1)};

// The parts of "yyyy-mm-dd-hh" when `s` holds exactly that shape.
inline bool PlainDateParts(const char* s, int& year, int& month, int& day, int& hour) {
  if (s[4] != '-' || s[7] != '-' || s[10] != '-') return false;
  if (!(IsDigit(s[0]) && IsDigit(s[1]) && IsDigit(s[2]) && IsDigit(s[3]) && IsDigit(s[5]) &&
        IsDigit(s[6]) && IsDigit(s[8]) && IsDigit(s[9]) && IsDigit(s[11]) && IsDigit(s[12])))
    return false;
  year = (s[0] - '0') * 1000 + (s[1] - '0') * 100 + (s[2] - '0') * 10 + (s[3] - '0');
  month = (s[5] - '0') * 10 + (s[6] - '0');
  day = (s[8] - '0') * 10 + (s[9] - '0');
  hour = (s[11] - '0') * 10 + (s[12] - '0');
  return true;
}

// Within these bounds the value is always representable and no part rolls
// over into the next but a day past its month's end, as the general rule
// does it.
inline bool PlainDateInBounds(int year, int month, int day, int hour) {
  return year >= DateTime::kMinYear && month >= 1 && month <= 12 && day >= 1 && day <= 31 &&
         hour <= 23;
}

inline DateTime PlainDate(int year, int month, int day, int hour) {
  const int64_t dayNumber =
      int64_t{DaysFromCivilPositive(static_cast<uint32_t>(year), static_cast<uint32_t>(month),
                                    static_cast<uint32_t>(day))} +
      kPositiveDayShift;
  return DateTime::FromSeconds(dayNumber * DateTime::kSecondsPerDay +
                               hour * DateTime::kSecondsPerHour);
}

// "yyyy-mm-dd-hh"; the exact shape the program writes is read directly, any
// other text (signs, blanks, short parts, roll-over) by the general rule.
std::optional<DateTime> ParseDateField(std::string_view text) {
  int year, month, day, hour;
  if (text.size() == 13 && PlainDateParts(text.data(), year, month, day, hour)) {
    if (PlainDateInBounds(year, month, day, hour)) return PlainDate(year, month, day, hour);
    return DateTime::FromParts(year, month, day, hour);
  }
  return ParseFileDate(text);
}

// The 31 digits of a mask line that has the shape "d,d,...,d", at every
// other byte from `s`: nearly always 0 and 1, which go straight into bits.
void StoreDigits(MaskColumn::Ref mask, const char* s) {
  MaskColumn::Bits bits;
  bool plain = true;
  for (int k = 0; k < kMaskSize; ++k) {
    const int digit = s[2 * k] - '0';
    plain &= MaskColumn::Fits(digit);
    bits.ones |= uint32_t(digit & 1) << k;
    bits.twos |= uint32_t(digit >> 1 & 1) << k;
  }
  if (plain) {
    mask.Overwrite(bits);
    return;
  }
  Mask values;
  for (int k = 0; k < kMaskSize; ++k) values[k] = static_cast<int16_t>(s[2 * k] - '0');
  mask = values;
}

// Masks as the program writes them, 31 single digits between commas, make
// up most of a data file. Eight bytes at a time are checked for the shape
// "d,d,d,d,": in little-endian order each digit with the comma after it is
// one 16-bit lane. Nothing is stored unless the whole line has the shape.
bool ReadPlainMask(MaskColumn::Ref mask, std::string_view line) {
  static_assert(kMaskSize == 31, "seven words of four values, then three alone");
  static_assert(std::endian::native == std::endian::little, "lanes are read little-endian");
  if (line.size() != 2 * kMaskSize - 1) return false;
  constexpr uint64_t kLanes = 0x0001000100010001;
  const char* s = line.data();
  uint64_t bad = 0;
  for (int w = 0; w < 7; ++w) {
    uint64_t word;
    std::memcpy(&word, s + 8 * w, 8);
    const uint64_t digits = word & 0x00FF00FF00FF00FF;
    bad |= (word & 0xFF00FF00FF00FF00) ^ (0x2C00 * kLanes);  // a comma after every digit
    bad |= ~(digits + 0x7FD0 * kLanes) & (0x8000 * kLanes);  // none below '0'
    bad |= (digits + 0x46 * kLanes) & (0x0180 * kLanes);     // none above '9'
  }
  // "d,d,d" of values 28 to 30.
  if (bad != 0 || !IsDigit(s[56]) || s[57] != ',' || !IsDigit(s[58]) || s[59] != ',' ||
      !IsDigit(s[60]))
    return false;
  StoreDigits(mask, s);
  return true;
}

// Sixteen bytes as one value, so that a whole mask line is checked and
// converted in a few steps; the compiler maps them onto the machine's vector
// instructions.
using Bytes16 = uint8_t __attribute__((vector_size(16)));

// A mask line as the program writes it, with its CR LF, at the start of at
// least 64 readable bytes, and with digits 0 to 2 only: any other value, a
// rare one, goes the general way. Each byte is XORed with the one the shape
// expects ('0' for a digit), which leaves 0..2 for a digit and 0 for the
// right separator; the byte after the LF belongs to the next line and is let
// through.
bool ReadPlainMaskLine(MaskColumn::Ref mask, const char* s) {
  static_assert(kMaskSize == 31, "61 bytes, CR LF, and the next line's first byte");
  constexpr Bytes16 kShape = {'0', ',', '0', ',', '0', ',', '0', ',',
                              '0', ',', '0', ',', '0', ',', '0', ','};
  constexpr Bytes16 kLimit = {2, 0, 2, 0, 2, 0, 2, 0, 2, 0, 2, 0, 2, 0, 2, 0};
  constexpr Bytes16 kLastShape = {'0', ',', '0', ',', '0', ',',  '0',  ',',
                                  '0', ',', '0', ',', '0', '\r', '\n', 0};
  constexpr Bytes16 kLastLimit = {2, 0, 2, 0, 2, 0, 2, 0, 2, 0, 2, 0, 2, 0, 0, 0xFF};
  Bytes16 v0, v1, v2, v3;
  std::memcpy(&v0, s, 16);
  std::memcpy(&v1, s + 16, 16);
  std::memcpy(&v2, s + 32, 16);
  std::memcpy(&v3, s + 48, 16);
  v0 ^= kShape;
  v1 ^= kShape;
  v2 ^= kShape;
  v3 ^= kLastShape;
#if defined(__SSE2__)
  // A byte above its limit leaves something after the limit is taken away.
  const auto over = [](Bytes16 v, Bytes16 limit) {
    return _mm_subs_epu8(reinterpret_cast<__m128i>(v), reinterpret_cast<__m128i>(limit));
  };
  const __m128i excess = _mm_or_si128(_mm_or_si128(over(v0, kLimit), over(v1, kLimit)),
                                      _mm_or_si128(over(v2, kLimit), over(v3, kLastLimit)));
  if (_mm_movemask_epi8(_mm_cmpeq_epi8(excess, _mm_setzero_si128())) != 0xFFFF) return false;
  // Every separator is now 0, so each digit with the byte after it is its
  // entry as a 16-bit lane, and packing the lanes gives one byte an entry.
  // The last lane holds the next line's first byte: it is cleared.
  const __m128i low =
      _mm_packus_epi16(reinterpret_cast<__m128i>(v0), reinterpret_cast<__m128i>(v1));
  const __m128i high =
      _mm_and_si128(_mm_packus_epi16(reinterpret_cast<__m128i>(v2), reinterpret_cast<__m128i>(v3)),
                    _mm_set_epi8(0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1));
  const auto where = [&](int digit) {
    const __m128i d = _mm_set1_epi8(static_cast<char>(digit));
    return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(low, d))) |
           static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(high, d))) << 16;
  };
  mask.Overwrite({where(1), where(2)});
#else
  const auto bad = (v0 > kLimit) | (v1 > kLimit) | (v2 > kLimit) | (v3 > kLastLimit);
  uint64_t halves[2];
  std::memcpy(halves, &bad, sizeof halves);
  if ((halves[0] | halves[1]) != 0) return false;
  StoreDigits(mask, s);
#endif
  return true;
}

// "yyyy-mm-dd-hh<TAB>" three times over, the last with CR LF instead of the
// TAB, at the start of at least 48 readable bytes: line 3 of nearly every
// record. Checked in three steps like a mask line; the dates are made only
// when all three are in the plain bounds.
bool ThreePlainDates(const char* s, DateTime (&dates)[3]) {
  constexpr Bytes16 kShape[3] = {
      {'0', '0', '0', '0', '-', '0', '0', '-', '0', '0', '-', '0', '0', '\t', '0', '0'},
      {'0', '0', '-', '0', '0', '-', '0', '0', '-', '0', '0', '\t', '0', '0', '0', '0'},
      {'-', '0', '0', '-', '0', '0', '-', '0', '0', '\r', '\n', 0, 0, 0, 0, 0}};
  constexpr Bytes16 kLimit[3] = {{9, 9, 9, 9, 0, 9, 9, 0, 9, 9, 0, 9, 9, 0, 9, 9},
                                 {9, 9, 0, 9, 9, 0, 9, 9, 0, 9, 9, 0, 9, 9, 9, 9},
                                 {0, 9, 9, 0, 9, 9, 0, 9, 9, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}};
  Bytes16 v0, v1, v2;
  std::memcpy(&v0, s, 16);
  std::memcpy(&v1, s + 16, 16);
  std::memcpy(&v2, s + 32, 16);
  const auto bad = ((v0 ^ kShape[0]) > kLimit[0]) | ((v1 ^ kShape[1]) > kLimit[1]) |
                   ((v2 ^ kShape[2]) > kLimit[2]);
  uint64_t halves[2];
  std::memcpy(halves, &bad, sizeof halves);
  if ((halves[0] | halves[1]) != 0) return false;
  auto digits = [](const char* d) { return (d[0] - '0') * 10 + (d[1] - '0'); };
  for (int k = 0; k < 3; ++k) {
    const char* d = s + 14 * k;
    const int year = digits(d) * 100 + digits(d + 2), month = digits(d + 5), day = digits(d + 8),
              hour = digits(d + 11);
    if (!PlainDateInBounds(year, month, day, hour)) return false;
    dates[k] = PlainDate(year, month, day, hour);
  }
  return true;
}

// A line 3 as the program writes it: three fields, so exactly two TABs.
bool HasDateLineShape(std::string_view line) {
  int tabs = 0;
  for (char c : line) tabs += c == '\t';
  return tabs == 2;
}

// Eight bytes as the word that holds them in memory.
constexpr uint64_t Word(const char (&bytes)[9]) {
  uint64_t word = 0;
  for (int k = 7; k >= 0; --k) word = word << 8 | static_cast<uint8_t>(bytes[k]);
  return word;
}

class RecordLoader {
 public:
  RecordLoader(TaskTable& table, LoadResult& result, LineReader& lines, std::string_view separator,
               Generation generation)
      : table_(table),
        cutShort_(result.cutShortTasks),
        unplaced_(result.unplacedTasks),
        lines_(lines),
        separator_(separator),
        generation_(generation) {}

  void Run() {
    std::string_view markerLine = separator_;
    const bool plainRecords = generation_ == Generation::V3 && lines_.EndsAtLf();
    while (!lines_.AtEnd() && WithoutTrailingBlanks(markerLine) != kEndMarker) {
      if (plainRecords && ReadPlainRecord(markerLine)) continue;
      const std::string_view idLine = lines_.Next();
      if (IsMarker(idLine)) continue;  // an empty record: nothing stored
      if (lines_.AtEnd()) continue;
      const std::string_view textLine = lines_.Next();
      // A record cut short after its id is followed by a separator and the
      // next id; a task whose text merely looks like a marker is followed
      // by its date line. Only the first is dropped.
      if (IsMarker(textLine) && (lines_.AtEnd() || !HasDateLineShape(lines_.Peek()))) continue;

      // An id that is not a number or lies outside the table makes every
      // store of the record fail: its lines are consumed, nothing is kept
      // but its text, for the user to be told.
      std::optional<int> id;
      if (const auto value = ToInt16(idLine); value && table_.TaskText.Valid(*value)) id = *value;
      if (id) {
        table_.TaskText.Set(*id, textLine);
      } else if (!textLine.empty()) {
        unplaced_.emplace_back(textLine);
      }
      if (!ReadDataLines(id) || !ReadClosingLine(markerLine)) RecordError(id);
    }
  }

 private:
  // The line at `p` when it ends in CR LF; `p` moves to the next line.
  static bool CrLfLine(const char*& p, const char* end, std::string_view& line) {
    const void* found = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
    if (found == nullptr) return false;
    const char* lf = static_cast<const char*>(found);
    if (lf == p || lf[-1] != '\r') return false;
    line = std::string_view(p, static_cast<std::size_t>(lf - 1 - p));
    p = lf + 1;
    return true;
  }

  // An occurrence field as the program writes it: a date in the plain
  // shape and bounds, or one of the markers.
  static bool PlainOccurrence(std::string_view field, Occurrence& value) {
    int year, month, day, hour;
    if (field.size() == 13 && PlainDateParts(field.data(), year, month, day, hour) &&
        PlainDateInBounds(year, month, day, hour)) {
      value = PlainDate(year, month, day, hour);
      return true;
    }
    if (field != kMoreThanOneYear && field != kErrorMarker) return false;
    value = Occurrence(field);
    return true;
  }

  // "checked<TAB>previous<TAB>next" with every field in the plain shape.
  bool PlainDateLine(int id, std::string_view line) {
    int year, month, day, hour;
    if (line.size() < 15 || line[13] != '\t' ||
        !PlainDateParts(line.data(), year, month, day, hour) ||
        !PlainDateInBounds(year, month, day, hour))
      return false;
    table_.CheckedDate[id] = PlainDate(year, month, day, hour);
    const std::string_view rest = line.substr(14);
    const std::size_t tab = rest.find('\t');
    if (tab == std::string_view::npos) return false;
    const std::string_view last = rest.substr(tab + 1);
    return last.find('\t') == std::string_view::npos &&
           PlainOccurrence(rest.substr(0, tab), table_.PreviousOccurrence[id]) &&
           PlainOccurrence(last, table_.NextOccurrence[id]);
  }

  // Five plain integers "-123" between commas, each within 16 bits, and the
  // CR LF after them; `p` moves to the next line.
  bool PlainNumberLine(int id, const char*& p, const char* end) {
    // Nearly every task is "0" or "-1" (not ticked or ticked) with no rule
    // of days: that line is compared whole, the others read number by number.
    if (end - p >= 12) {
      const bool ticked = p[0] == '-' && p[1] == '1';
      const char* rest = p + (ticked ? 2 : p[0] == '0' ? 1 : 0);
      uint64_t word;
      std::memcpy(&word, rest, 8);
      if (rest != p && word == Word(",0,0,0,0") && rest[8] == '\r' && rest[9] == '\n') {
        p = rest + 10;
        table_.TaskChecked[id] = static_cast<int16_t>(ticked ? -1 : 0);
        table_.EveryNDays[id] = 0;
        table_.StartDay[id] = 0;
        table_.StartMonth[id] = 0;
        table_.StartYear[id] = 0;
        return true;
      }
    }
    const char* s = p;
    int16_t values[5];
    for (int k = 0; k < 5; ++k) {
      const bool negative = s != end && *s == '-';
      s += negative;
      const char* const digits = s;
      int value = 0;
      while (s != end && IsDigit(*s) && s - digits < 5) value = value * 10 + (*s++ - '0');
      if (s == digits) return false;
      value = negative ? -value : value;
      if (value < -32768 || value > 32767) return false;
      values[k] = static_cast<int16_t>(value);
      if (s == end || *s != (k < 4 ? ',' : '\r')) return false;
      ++s;
    }
    if (s == end || *s != '\n') return false;
    p = s + 1;
    table_.TaskChecked[id] = values[0];
    table_.EveryNDays[id] = values[1];
    table_.StartDay[id] = values[2];
    table_.StartMonth[id] = values[3];
    table_.StartYear[id] = values[4];
    return true;
  }

  // A record exactly as the program writes it, CR LF line ends included,
  // read straight from the bytes without looking for most of its line ends:
  // nearly every record of a data file is one. Every field is stored as
  // soon as it is read, and only when the general reading below would
  // store the same value, so that a record that turns out to have another
  // shape can be read again from its start by the general rule.
  bool ReadPlainRecord(std::string_view& markerLine) {
    const std::string_view bytes = lines_.Bytes();
    const char* p = bytes.data() + lines_.Position();
    const char* const end = bytes.data() + bytes.size();

    // " id "
    // The shortest record takes far more than " 10000 \r\n", so up to five
    // digits are read without looking for the end.
    if (end - p < 9 || *p != ' ') return false;
    const char* q = p + 1;
    int id = 0;
    for (const char* const last = p + 6; q != last && IsDigit(*q); ++q) id = id * 10 + (*q - '0');
    if (q == p + 1 || end - q < 3 || q[0] != ' ' || q[1] != '\r' || q[2] != '\n' ||
        !table_.TaskText.Valid(id))
      return false;
    p = q + 3;

    std::string_view text;
    if (!CrLfLine(p, end, text) || IsMarker(text)) return false;
    table_.TaskText.Set(id, text);

    // Three dates take fixed places; anything else is looked at whole.
    constexpr std::size_t kDates = 3 * 13 + 2;
    std::string_view dates;
    if (DateTime plain[3]; end - p >= 48 && ThreePlainDates(p, plain)) {
      table_.CheckedDate[id] = plain[0];
      table_.PreviousOccurrence[id] = plain[1];
      table_.NextOccurrence[id] = plain[2];
      p += kDates + 2;
    } else if (static_cast<std::size_t>(end - p) >= kDates + 2 && p[13] == '\t' && p[27] == '\t' &&
               p[kDates] == '\r' && p[kDates + 1] == '\n') {
      dates = std::string_view(p, kDates);  // the digits checked below hold no LF
      p += kDates + 2;
    } else if (!CrLfLine(p, end, dates)) {
      return false;
    }
    if ((!dates.empty() && !PlainDateLine(id, dates)) || !PlainNumberLine(id, p, end)) return false;

    // The four mask lines, each with its CR LF, and at least the first byte
    // of the marker line after them.
    constexpr std::size_t kLine = 2 * kMaskSize + 1;
    if (static_cast<std::size_t>(end - p) < 4 * kLine + 1) return false;
    for (MaskColumn* column :
         {&table_.HourMask, &table_.WeekdayMask, &table_.DayOfMonthMask, &table_.MonthMask}) {
      if (!ReadPlainMaskLine((*column)[id], p)) return false;
      p += kLine;
    }

    // Only files of the newest records come here, so the separator is
    // "*****"; both markers are compared whole with their line end.
    // Compared as words: "*****\r\n" as two overlapping halves, "*** end\r\n"
    // as eight bytes and the LF.
    auto skipOver = [&](std::string_view marker) {
      lines_.SkipTo(static_cast<std::size_t>(p + marker.size() - bytes.data()));
      markerLine = marker.substr(0, marker.size() - 2);
      return true;
    };
    if (end - p >= 7) {
      uint32_t head, tail;
      std::memcpy(&head, p, 4);
      std::memcpy(&tail, p + 3, 4);
      if (head == static_cast<uint32_t>(Word("****\0\0\0\0")) &&
          tail == static_cast<uint32_t>(Word("**\r\n\0\0\0\0")))
        return skipOver("*****\r\n");
    }
    if (end - p >= 9) {
      uint64_t head;
      std::memcpy(&head, p, 8);
      if (head == Word("*** end\r") && p[8] == '\n') return skipOver("*** end\r\n");
    }
    return false;
  }

  bool IsMarker(std::string_view line) const {
    // Both markers start with '*'; task texts hardly ever do.
    if (line.empty() || line[0] != '*') return false;
    if (line == separator_ || line == kEndMarker) return true;
    if (line.back() != ' ' && line.back() != '\t') return false;
    line = WithoutTrailingBlanks(line);
    return line == separator_ || line == kEndMarker;
  }

  // Lines 3 to 8. False when the file ends or a marker stands where one of
  // them should be; the marker is consumed with it.
  bool ReadDataLines(std::optional<int> id) {
    for (int k = 0; k < 6; ++k) {
      if (lines_.AtEnd()) return false;
      const std::string_view line = lines_.Next();
      if (IsMarker(line)) return false;
      if (!id) continue;
      switch (k) {
        case 0:
          StoreDateLine(*id, line);
          break;
        case 1:
          StoreNumberLine(*id, line);
          break;
        case 2:
          StoreMask(table_.HourMask[*id], line);
          break;
        case 3:
          StoreMask(table_.WeekdayMask[*id], line);
          break;
        case 4:
          StoreMask(table_.DayOfMonthMask[*id], line);
          break;
        case 5:
          StoreMask(table_.MonthMask[*id], line);
          break;
      }
    }
    return true;
  }

  // The line after the month line. Surplus lines before the next marker
  // are skipped and make the record an error; a single non-marker line that
  // ends the file does not.
  bool ReadClosingLine(std::string_view& markerLine) {
    if (lines_.AtEnd()) return false;
    markerLine = lines_.Next();
    bool surplus = false;
    while (!IsMarker(markerLine) && !lines_.AtEnd()) {
      markerLine = lines_.Next();
      surplus = true;
    }
    return !surplus;
  }

  void RecordError(std::optional<int> id) {
    if (!id) return;  // no slot to mark and no text to name
    table_.PreviousOccurrence[*id] = Occurrence(kErrorMarker);
    table_.NextOccurrence[*id] = Occurrence(kErrorMarker);
    cutShort_.emplace_back(table_.TaskText[*id]);
  }

  // Every field is a step of its own: one that does not convert keeps the
  // slot's previous value and the others still load.
  void StoreDateLine(int id, std::string_view line) {
    ForEachField(line, '\t', 3, [&](int k, std::string_view field) {
      if (k == 0) {
        const auto date =
            generation_ == Generation::V1 ? ParseGeneralDate(field) : ParseDateField(field);
        if (date) table_.CheckedDate[id] = *date;
        return;
      }
      Occurrence& target = k == 1 ? table_.PreviousOccurrence[id] : table_.NextOccurrence[id];
      if (generation_ == Generation::V1 || field == kMoreThanOneYear || field == kErrorMarker) {
        target = Occurrence(field);
      } else if (const auto date = ParseDateField(field)) {
        target = *date;
      }
    });
  }

  void StoreNumberLine(int id, std::string_view line) {
    if (generation_ != Generation::V3) {
      if (const auto value = ToInt16(line)) table_.TaskChecked[id] = *value;
      return;
    }
    ForEachField(line, ',', 5, [&](int k, std::string_view field) {
      const auto value = ToInt16(field);
      if (!value) return;
      switch (k) {
        case 0:
          table_.TaskChecked[id] = *value;
          break;
        case 1:
          table_.EveryNDays[id] = *value;
          break;
        case 2:
          table_.StartDay[id] = *value;
          break;
        case 3:
          table_.StartMonth[id] = *value;
          break;
        case 4:
          table_.StartYear[id] = *value;
          break;
      }
    });
  }

  static void StoreMask(MaskColumn::Ref mask, std::string_view line) {
    if (ReadPlainMask(mask, line)) return;
    ForEachField(line, ',', kMaskSize, [&](int k, std::string_view field) {
      if (const auto value = ToInt16(field)) mask[k] = *value;
    });
  }

  TaskTable& table_;
  std::vector<std::string>& cutShort_;
  std::vector<std::string>& unplaced_;
  LineReader& lines_;
  const std::string_view separator_;
  const Generation generation_;
};

// Every slot back to its state in a fresh table, without allocating.
void ClearTable(TaskTable& table) {
  table.TaskText.Clear();
  for (int id = 0; id <= kMaxTaskId; ++id) {
    table.EveryNDays[id] = 0;
    table.StartDay[id] = 0;
    table.StartMonth[id] = 0;
    table.StartYear[id] = 0;
    table.HourMask[id].Fill(0);
    table.WeekdayMask[id].Fill(0);
    table.DayOfMonthMask[id].Fill(0);
    table.MonthMask[id].Fill(0);
    table.TaskChecked[id] = 0;
    table.PreviousOccurrence[id] = Occurrence();
    table.NextOccurrence[id] = Occurrence();
    table.CheckedDate[id] = DateTime();
  }
}

LoadResult Problem(LoadProblem problem, int error = 0) {
  LoadResult result;
  result.problem = problem;
  result.error = error;
  return result;
}

LoadProblem ProblemOf(ReadProblem problem) {
  switch (problem) {
    case ReadProblem::None:
      break;
    case ReadProblem::Missing:
      return LoadProblem::Missing;
    case ReadProblem::Folder:
      return LoadProblem::Folder;
    case ReadProblem::NotAFile:
      return LoadProblem::NotAFile;
    case ReadProblem::TooLarge:
      return LoadProblem::TooLarge;
    case ReadProblem::Failed:
      return LoadProblem::Failed;
    case ReadProblem::OutOfMemory:
      return LoadProblem::OutOfMemory;
  }
  return LoadProblem::None;
}

std::string Reason(const LoadResult& result) {
  switch (result.problem) {
    case LoadProblem::None:
    case LoadProblem::Missing:
      break;
    case LoadProblem::Folder:
      return "it is a folder";
    case LoadProblem::NotAFile:
      return "it is a device, a pipe or a socket, not a file";
    case LoadProblem::TooLarge:
      return "it is larger than " + std::to_string(kMaxFileBytes >> 20) + " MiB";
    case LoadProblem::Failed:
      return std::strerror(result.error);
    case LoadProblem::OutOfMemory:
      return "there was not enough memory";
    case LoadProblem::NotADataFile:
      return "its first line is not ***, **** or *****";
  }
  return {};
}

}  // namespace

LoadResult LoadDataBytes(TaskTable& table, std::string_view bytes) {
  if (bytes.starts_with(kByteOrderMark)) bytes.remove_prefix(kByteOrderMark.size());
  LineReader lines(bytes);
  if (lines.AtEnd()) return {};  // an empty file is an empty table
  const std::string_view first = WithoutTrailingBlanks(lines.Next());
  Generation generation;
  if (first == "***") {
    generation = Generation::V1;
  } else if (first == "****") {
    generation = Generation::V2;
  } else if (first == "*****") {
    generation = Generation::V3;
  } else if (first == kEndMarker) {
    return {};  // the table was empty when it was saved
  } else {
    return Problem(LoadProblem::NotADataFile);
  }
  LoadResult result;
  try {
    RecordLoader(table, result, lines, first, generation).Run();
  } catch (const std::bad_alloc&) {
    ClearTable(table);
    return Problem(LoadProblem::OutOfMemory);
  }
  return result;
}

LoadResult LoadDataRead(TaskTable& table, const FileRead& read) {
  if (read.problem != ReadProblem::None) return Problem(ProblemOf(read.problem), read.error);
  return LoadDataBytes(table, read.bytes.View());
}

LoadResult LoadDataFile(TaskTable& table, const std::filesystem::path& folder) {
  return LoadDataRead(table, ReadRegularFile(folder / kContentFile));
}

std::vector<std::string> LoadMessages(const LoadResult& result,
                                      const std::filesystem::path& folder) {
  std::vector<std::string> messages;
  for (const std::string& text : result.cutShortTasks)
    messages.push_back("Error for task: " + text);
  if (const std::size_t count = result.unplacedTasks.size(); count == 1) {
    messages.push_back("The task \"" + result.unplacedTasks[0] +
                       "\" in the data file could not be loaded: its ID is not a number from 0 "
                       "to 10000.");
  } else if (count > 1) {
    messages.push_back(std::to_string(count) +
                       " tasks in the data file could not be loaded: their IDs are not numbers "
                       "from 0 to 10000. The first is \"" +
                       result.unplacedTasks[0] + "\".");
  }
  if (!result.Read() && result.problem != LoadProblem::Missing) {
    messages.push_back("The data file " + (folder / kContentFile).string() +
                       " could not be loaded (" + Reason(result) +
                       "). It will not be overwritten unless you agree when saving.");
  }
  return messages;
}

}  // namespace zelto
