#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "store/dataformat.h"

namespace zelto {
namespace {

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
    int year, month, day;
    DateTime::CivilFromDayNumber(value.DayNumber(), year, month, day);
    if (year < 0 || year > 9999) {  // outside the table's range; written readably all the same
      Bytes(FormatFileDate(value).substr(0, kMaxDateChars));
      return;
    }
    const int hour = value.Hour();
    char* d = p_;
    d[0] = static_cast<char>('0' + year / 1000);
    d[1] = static_cast<char>('0' + year / 100 % 10);
    d[2] = static_cast<char>('0' + year / 10 % 10);
    d[3] = static_cast<char>('0' + year % 10);
    d[4] = '-';
    d[5] = static_cast<char>('0' + month / 10);
    d[6] = static_cast<char>('0' + month % 10);
    d[7] = '-';
    d[8] = static_cast<char>('0' + day / 10);
    d[9] = static_cast<char>('0' + day % 10);
    d[10] = '-';
    d[11] = static_cast<char>('0' + hour / 10);
    d[12] = static_cast<char>('0' + hour % 10);
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
    if (const auto* date = std::get_if<DateTime>(&value)) {
      Date(*date);
    } else if (const auto* text = std::get_if<std::string>(&value)) {
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
  void MaskLine(const Mask& mask) {
    static_assert(kMaskSize == 31, "seven words of four values, then three alone");
    static_assert(std::endian::native == std::endian::little, "lanes are written little-endian");
    // Nearly every entry is 0 or 1. Four entries at a time are checked for
    // 0..9 and turned into "d," pairs: in little-endian order each 16-bit
    // lane holds the digit and the comma after it. The words are read from
    // the entries themselves, eight bytes each, so that no load waits for a
    // store of a different width.
    constexpr uint64_t kLanes = 0x0001000100010001;
    const int16_t* entries = &mask[0];  // the entries lie in one array
    uint64_t words[7];
    uint64_t large = 0;
    for (int w = 0; w < 7; ++w) {
      std::memcpy(&words[w], entries + 4 * w, 8);
      large |= ((words[w] + 0x7FF6 * kLanes) | words[w]) & (0x8000 * kLanes);
    }
    const int16_t last[3] = {entries[28], entries[29], entries[30]};
    if (large == 0 && static_cast<uint16_t>(last[0]) <= 9 && static_cast<uint16_t>(last[1]) <= 9 &&
        static_cast<uint16_t>(last[2]) <= 9) {
      for (int w = 0; w < 7; ++w) {
        const uint64_t pairs = words[w] + 0x2C30 * kLanes;
        std::memcpy(p_ + 8 * w, &pairs, 8);
      }
      char* tail = p_ + 56;
      tail[0] = static_cast<char>('0' + last[0]);
      tail[1] = ',';
      tail[2] = static_cast<char>('0' + last[1]);
      tail[3] = ',';
      tail[4] = static_cast<char>('0' + last[2]);
      tail[5] = '\r';
      tail[6] = '\n';
      p_ = tail + 7;
      return;
    }
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
  const auto* text = std::get_if<std::string>(&value);
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
    const std::string& text = table.TaskText[id];
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
