#include "store/datafile.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <string>

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

// "yyyy-mm-dd-hh"; the exact shape the program writes is read directly, any
// other text (signs, blanks, short parts, roll-over) by the general rule.
std::optional<DateTime> ParseDateField(std::string_view text) {
  if (text.size() == 13 && text[4] == '-' && text[7] == '-' && text[10] == '-') {
    const char* s = text.data();
    if (IsDigit(s[0]) && IsDigit(s[1]) && IsDigit(s[2]) && IsDigit(s[3]) && IsDigit(s[5]) &&
        IsDigit(s[6]) && IsDigit(s[8]) && IsDigit(s[9]) && IsDigit(s[11]) && IsDigit(s[12])) {
      const int year = (s[0] - '0') * 1000 + (s[1] - '0') * 100 + (s[2] - '0') * 10 + (s[3] - '0');
      const int month = (s[5] - '0') * 10 + (s[6] - '0');
      const int day = (s[8] - '0') * 10 + (s[9] - '0');
      const int hour = (s[11] - '0') * 10 + (s[12] - '0');
      // Within these bounds the value is always representable.
      if (year >= DateTime::kMinYear && month >= 1 && month <= 12 && day >= 1 && day <= 31 &&
          hour <= 23)
        return DateTime::FromSeconds(DateTime::DayNumberOf(year, month, day) *
                                         DateTime::kSecondsPerDay +
                                     hour * DateTime::kSecondsPerHour);
      return DateTime::FromParts(year, month, day, hour);
    }
  }
  return ParseFileDate(text);
}

// Masks as the program writes them, 31 single digits between commas, make
// up most of a data file. Eight bytes at a time are checked for the shape
// "d,d,d,d," and turned into four values at once: in little-endian order
// each digit with the comma after it is one 16-bit lane.
bool ReadPlainMask(Mask& mask, std::string_view line) {
  static_assert(kMaskSize == 31, "seven words of four values, then three alone");
  if (line.size() != 2 * kMaskSize - 1) return false;
  constexpr uint64_t kLanes = 0x0001000100010001;
  const char* s = line.data();
  // Entries stored before a later word fails are stored again, with the
  // same values, by the general rule that then reads the line.
  for (int w = 0; w < 7; ++w) {
    uint64_t word;
    std::memcpy(&word, s + 8 * w, 8);
    if ((word & 0xFF00FF00FF00FF00) != 0x2C00 * kLanes) return false;
    const uint64_t bytes = word & 0x00FF00FF00FF00FF;
    // Every lane 0x30..0x39: none below '0', none above '9'.
    const uint64_t belowZero = ((bytes | 0x8000 * kLanes) - 0x30 * kLanes) & (0x8000 * kLanes);
    const uint64_t aboveNine = (bytes + 0xC6 * kLanes) & (0x0100 * kLanes);
    if (belowZero != 0x8000 * kLanes || aboveNine != 0) return false;
    const uint64_t values = bytes - 0x30 * kLanes;
    mask[4 * w] = static_cast<int16_t>(values & 0xFF);
    mask[4 * w + 1] = static_cast<int16_t>(values >> 16 & 0xFF);
    mask[4 * w + 2] = static_cast<int16_t>(values >> 32 & 0xFF);
    mask[4 * w + 3] = static_cast<int16_t>(values >> 48 & 0xFF);
  }
  // "d,d,d" of values 28 to 30.
  if (!IsDigit(s[56]) || s[57] != ',' || !IsDigit(s[58]) || s[59] != ',' || !IsDigit(s[60]))
    return false;
  mask[28] = static_cast<int16_t>(s[56] - '0');
  mask[29] = static_cast<int16_t>(s[58] - '0');
  mask[30] = static_cast<int16_t>(s[60] - '0');
  return true;
}

// A line 3 as the program writes it: three fields, so exactly two TABs.
bool HasDateLineShape(std::string_view line) {
  int tabs = 0;
  for (char c : line) tabs += c == '\t';
  return tabs == 2;
}

class RecordLoader {
 public:
  RecordLoader(TaskTable& table, std::vector<std::string>& cutShort, LineReader& lines,
               std::string_view separator, Generation generation)
      : table_(table),
        cutShort_(cutShort),
        lines_(lines),
        separator_(separator),
        generation_(generation) {}

  void Run() {
    std::string_view markerLine = separator_;
    while (!lines_.AtEnd() && WithoutTrailingBlanks(markerLine) != kEndMarker) {
      const std::string_view idLine = lines_.Next();
      if (IsMarker(idLine)) continue;  // an empty record: nothing stored
      if (lines_.AtEnd()) continue;
      const std::string_view textLine = lines_.Next();
      // A record cut short after its id is followed by a separator and the
      // next id; a task whose text merely looks like a marker is followed
      // by its date line. Only the first is dropped.
      if (IsMarker(textLine) && (lines_.AtEnd() || !HasDateLineShape(lines_.Peek()))) continue;

      // An id that is not a number or lies outside the table makes every
      // store of the record fail: its lines are consumed, nothing is kept.
      std::optional<int> id;
      if (const auto value = ToInt16(idLine); value && table_.TaskText.Valid(*value)) id = *value;
      if (id) table_.TaskText[*id].assign(textLine);
      if (!ReadDataLines(id) || !ReadClosingLine(markerLine)) RecordError(id);
    }
  }

 private:
  bool IsMarker(std::string_view line) const {
    if (line == separator_ || line == kEndMarker) return true;
    if (line.empty() || (line.back() != ' ' && line.back() != '\t')) return false;
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
    table_.PreviousOccurrence[*id] = std::string(kErrorMarker);
    table_.NextOccurrence[*id] = std::string(kErrorMarker);
    cutShort_.push_back(table_.TaskText[*id]);
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
        target = std::string(field);
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

  static void StoreMask(Mask& mask, std::string_view line) {
    if (ReadPlainMask(mask, line)) return;
    ForEachField(line, ',', kMaskSize, [&](int k, std::string_view field) {
      if (const auto value = ToInt16(field)) mask[k] = *value;
    });
  }

  TaskTable& table_;
  std::vector<std::string>& cutShort_;
  LineReader& lines_;
  const std::string_view separator_;
  const Generation generation_;
};

// Every slot back to its state in a fresh table, without allocating.
void ClearTable(TaskTable& table) {
  for (int id = 0; id <= kMaxTaskId; ++id) {
    table.TaskText[id] = std::string();
    table.EveryNDays[id] = 0;
    table.StartDay[id] = 0;
    table.StartMonth[id] = 0;
    table.StartYear[id] = 0;
    table.HourMask[id].Fill(0);
    table.WeekdayMask[id].Fill(0);
    table.DayOfMonthMask[id].Fill(0);
    table.MonthMask[id].Fill(0);
    table.TaskChecked[id] = 0;
    table.PreviousOccurrence[id] = std::monostate();
    table.NextOccurrence[id] = std::monostate();
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
    RecordLoader(table, result.cutShortTasks, lines, first, generation).Run();
  } catch (const std::bad_alloc&) {
    ClearTable(table);
    return Problem(LoadProblem::OutOfMemory);
  }
  return result;
}

LoadResult LoadDataFile(TaskTable& table, const std::filesystem::path& folder) {
  FileRead read = ReadRegularFile(folder / kContentFile);
  if (read.problem != ReadProblem::None) return Problem(ProblemOf(read.problem), read.error);
  return LoadDataBytes(table, read.bytes.View());
}

std::vector<std::string> LoadMessages(const LoadResult& result,
                                      const std::filesystem::path& folder) {
  std::vector<std::string> messages;
  for (const std::string& text : result.cutShortTasks)
    messages.push_back("Error for task: " + text);
  if (!result.Read() && result.problem != LoadProblem::Missing) {
    messages.push_back("The data file " + (folder / kContentFile).string() +
                       " could not be loaded (" + Reason(result) +
                       "). It will not be overwritten unless you agree when saving.");
  }
  return messages;
}

}  // namespace zelto
