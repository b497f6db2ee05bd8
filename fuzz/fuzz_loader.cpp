// Feeds arbitrary bytes to the data file loader. Beyond memory errors and
// undefined behaviour it checks what a user relies on: whatever was loaded,
// the program's own save of it reloads without a single record error and
// is saved again byte for byte the same (for the oldest format from the
// second save on, because its undated occurrence texts are dropped once).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "store/convert.h"
#include "store/datafile.h"
#include "store/linereader.h"

namespace {

// A fresh 4 MB table for every load would cap the fuzzer at about a hundred
// inputs a second. The loader only writes slots named by a line that reads
// as an id, so resetting those slots afterwards is as good as a new table.
void ResetSlots(zelto::TaskTable& table, std::string_view bytes) {
  zelto::LineReader lines(bytes);
  while (!lines.AtEnd()) {
    const auto id = zelto::ParseInt16(lines.Next());
    if (!id || !table.TaskText.Valid(*id)) continue;
    table.TaskText.Set(*id, {});
    table.EveryNDays[*id] = 0;
    table.StartDay[*id] = 0;
    table.StartMonth[*id] = 0;
    table.StartYear[*id] = 0;
    table.HourMask[*id].Fill(0);
    table.WeekdayMask[*id].Fill(0);
    table.DayOfMonthMask[*id].Fill(0);
    table.MonthMask[*id].Fill(0);
    table.TaskChecked[*id] = 0;
    table.PreviousOccurrence[*id] = std::monostate();
    table.NextOccurrence[*id] = std::monostate();
    table.CheckedDate[*id] = zelto::DateTime();
  }
}

// The table's save; `clean` tells whether the bytes were read as a data file
// without a single cut-short record.
std::string LoadAndFormat(std::string_view bytes, bool& clean) {
  static const auto table = zelto::MakeTaskTable();
  const zelto::LoadResult result = zelto::LoadDataBytes(*table, bytes);
  clean = result.Read() && result.cutShortTasks.empty();
  std::string formatted = zelto::FormatDataFile(*table);
  ResetSlots(*table, bytes);
  return formatted;
}

// The oldest format keeps undated occurrence texts that only the first save
// drops. Its marker may follow a byte-order mark and carry trailing blanks.
bool IsOldestFormat(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  zelto::LineReader lines(bytes);
  if (lines.AtEnd()) return false;
  std::string_view first = lines.Next();
  while (!first.empty() && (first.back() == ' ' || first.back() == '\t')) first.remove_suffix(1);
  return first == "***";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  bool anything = false, clean = false, cleanAgain = false;
  const std::string first = LoadAndFormat(input, anything);
  const std::string second = LoadAndFormat(first, clean);
  const std::string third = LoadAndFormat(second, cleanAgain);
  if (!clean || !cleanAgain) std::abort();
  if (!IsOldestFormat(input) && second != first) std::abort();
  if (third != second) std::abort();
  return 0;
}
