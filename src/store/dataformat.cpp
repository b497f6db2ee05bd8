#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "store/dataformat.h"

namespace zelto {
namespace {

// 0..99 written with two digits each.
constexpr auto kTwoDigits = [] {
  std::array<char, 200> digits{};
  for (int i = 0; i < 100; ++i) {
    digits[static_cast<size_t>(2 * i)] = static_cast<char>('0' + i / 10);
    digits[static_cast<size_t>(2 * i + 1)] = static_cast<char>('0' + i % 10);
  }
  return digits;
}();

void TwoDigits(char* out, unsigned value) {
  std::memcpy(out, &kTwoDigits[2 * value], 2);
}

// Each byte of a mask's bits as the eight "d," pairs of its entries, the
// lowest bit first.
constexpr auto kPairs = [] {
  std::array<std::array<char, 16>, 256> pairs{};
  for (unsigned byte = 0; byte < 256; ++byte) {
    for (unsigned bit = 0; bit < 8; ++bit) {
      pairs[byte][2 * bit] = static_cast<char>('0' + (byte >> bit & 1));
      pairs[byte][2 * bit + 1] = ',';
    }
  }
  return pairs;
}();

// Writes one record into room reserved beforehand, so that the ~1.3 million
// numbers of a full table cost a store each instead of a checked append.
class RecordWriter {
 public:
  explicit RecordWriter(char* start) : p_(start) {}
  char* end() const { return p_; }

  void Bytes(std::string_view bytes) {
    std::memcpy(p_, bytes.data(), bytes.size());
    p_ += bytes.size();
  }
  void Char(char c) { *p_++ = c; }
  void LineEnd() {
    p_[0] = '\r';
    p_[1] = '\n';
    p_ += 2;
  }
  void Int(int value) {
    if (value >= 0 && value <= 9) {
      *p_++ = static_cast<char>('0' + value);
    } else {
      p_ = std::to_chars(p_, p_ + kMaxIntChars, value).ptr;
    }
  }
  void Date(DateTime value) {
    const int64_t dayNumber = value.DayNumber();
    int year, month, day;
    DateTime::CivilFromDayNumber(dayNumber, year, month, day);
    if (year < 0 || year > 9999) {  // outside the table's range; written readably all the same
      Bytes(FormatFileDate(value).substr(0, kMaxDateChars));
      return;
    }
    const auto hour =
        static_cast<unsigned>(value.Seconds() - dayNumber * DateTime::kSecondsPerDay) / 3600;
    // Two digits at a time: the divisions by ten of each digit on its own
    // were half of the whole file's formatting.
    char* d = p_;
    TwoDigits(d, static_cast<unsigned>(year) / 100);
    TwoDigits(d + 2, static_cast<unsigned>(year) % 100);
    d[4] = '-';
    TwoDigits(d + 5, static_cast<unsigned>(month));
    d[7] = '-';
    TwoDigits(d + 8, static_cast<unsigned>(day));
    d[10] = '-';
    TwoDigits(d + 11, hour);
    p_ += kDateChars;
  }
  // A line break inside a field would cut the record in two, and a TAB in
  // an occurrence would shift the fields after it. Neither can come from
  // the loader, so only text set elsewhere is ever changed here.
  void Field(std::string_view text, bool tabsToo) {
    if (std::memchr(text.data(), '\n', text.size()) == nullptr &&
        (!tabsToo || std::memchr(text.data(), '\t', text.size()) == nullptr)) {
      Bytes(text);
      return;
    }
    for (char c : text) *p_++ = (c == '\n' || (tabsToo && c == '\t')) ? ' ' : c;
  }
  void Occurrence(const zelto::Occurrence& value) {
    if (const DateTime* date = value.Date()) {
      Date(*date);
    } else if (const std::string* text = value.Text()) {
      // Date texts kept from the oldest format are written as the date they
      // read as; markers and anything else as they stand.
      if (const auto asDate = OccurrenceAsDate(value)) {
        Date(*asDate);
      } else {
        Field(*text, true);
      }
    }
    // An occurrence that holds nothing is an empty field: the loader keeps
    // the field's previous value for it, which in a fresh table is again
    // nothing.
  }
  void MaskLine(MaskColumn::ConstRef mask) {
    static_assert(kMaskSize == 31, "four bytes of bits, the last entry spare");
    // Nearly every entry is 0 or 1: each byte of bits gives its eight
    // "d," pairs at once. The bits' spare top entry (0) gives one pair too
    // many, which the line end then overwrites.
    const MaskColumn::Bits& bits = mask.AsBits();
    if (bits.twos == 0) [[likely]] {
      for (int i = 0; i < 4; ++i)
        std::memcpy(p_ + 16 * i, kPairs[bits.ones >> 8 * i & 0xFF].data(), 16);
      p_[2 * kMaskSize - 1] = '\r';  // no separator after the last value
      p_[2 * kMaskSize] = '\n';
      p_ += 2 * kMaskSize + 1;
      return;
    }
    MaskLineOfValues(mask);
  }
  // Apart, so that the line of 0s and 1s above stays small enough to be
  // written in place.
  [[gnu::noinline]] void MaskLineOfValues(MaskColumn::ConstRef mask) {
    for (int k = 0; k < kMaskSize; ++k) {
      Int(mask[k]);
      *p_++ = ',';
    }
    p_[-1] = '\r';  // no separator after the last value
    *p_++ = '\n';
  }

  static constexpr std::size_t kMaxIntChars = 6;  // "-32768"
  static constexpr std::size_t kDateChars = 13;   // "yyyy-mm-dd-hh"
  static constexpr std::size_t kMaxDateChars = 32;

  // Room for one record around its texts.
  static std::size_t Room(std::size_t texts) {
    return texts + 64 + 3 * kMaxDateChars + 5 * (kMaxIntChars + 1) +
           4 * (kMaskSize * (kMaxIntChars + 1) + 2);
  }

 private:
  char* p_;
};

std::size_t TextSize(const Occurrence& value) {
  const std::string* text = value.Text();
  return text != nullptr ? text->size() : 0;
}

}  // namespace

FormattedData FormatDataBytes(const TaskTable& table) {
  constexpr std::string_view kEnd = "*** end\r\n";
  // A typical record takes about 330 bytes besides its text; a table full of
  // large numbers grows the buffer a few times at most. The buffer is not
  // cleared first: every byte handed out has been written.
  std::size_t capacity = kEnd.size(), largestRoom = 0;
  for (int id = 0; id <= kMaxTaskId; ++id) {
    const std::size_t size = table.TaskText[id].size();
    if (size == 0) continue;
    capacity += size + 340;
    largestRoom =
        std::max(largestRoom, RecordWriter::Room(size + TextSize(table.PreviousOccurrence[id]) +
                                                 TextSize(table.NextOccurrence[id])));
  }
  // The room checked before each record is the most it could take; with
  // that much more at the end, a table of ordinary records never grows it.
  capacity += largestRoom;
  FormattedData out;
  out.data.reset(new char[capacity]);
  std::size_t used = 0;
  for (int id = 0; id <= kMaxTaskId; ++id) {
    const std::string_view text = table.TaskText[id];
    if (text.empty()) continue;
    const std::size_t room = RecordWriter::Room(
        text.size() + TextSize(table.PreviousOccurrence[id]) + TextSize(table.NextOccurrence[id]));
    if (used + room + kEnd.size() > capacity) {
      capacity = std::max(capacity * 2, used + room + kEnd.size());
      std::unique_ptr<char[]> larger(new char[capacity]);
      std::memcpy(larger.get(), out.data.get(), used);
      out.data = std::move(larger);
    }
    RecordWriter w(out.data.get() + used);
    w.Bytes("*****\r\n ");
    w.Int(id);
    w.Bytes(" \r\n");
    w.Field(text, false);
    w.LineEnd();
    w.Date(table.CheckedDate[id]);
    w.Char('\t');
    w.Occurrence(table.PreviousOccurrence[id]);
    w.Char('\t');
    w.Occurrence(table.NextOccurrence[id]);
    w.LineEnd();
    w.Int(table.TaskChecked[id]);
    w.Char(',');
    w.Int(table.EveryNDays[id]);
    w.Char(',');
    w.Int(table.StartDay[id]);
    w.Char(',');
    w.Int(table.StartMonth[id]);
    w.Char(',');
    w.Int(table.StartYear[id]);
    w.LineEnd();
    w.MaskLine(table.HourMask[id]);
    w.MaskLine(table.WeekdayMask[id]);
    w.MaskLine(table.DayOfMonthMask[id]);
    w.MaskLine(table.MonthMask[id]);
    used = static_cast<std::size_t>(w.end() - out.data.get());
  }
  std::memcpy(out.data.get() + used, kEnd.data(), kEnd.size());
  out.size = used + kEnd.size();
  return out;
}

std::string FormatDataFile(const TaskTable& table) {
  return std::string(FormatDataBytes(table).View());
}

}  // namespace zelto
