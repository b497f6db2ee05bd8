#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "store/datafile.h"
#include "support/core/fakes.h"

namespace zelto::test {

inline std::filesystem::path StoreData(std::string_view name) {
  return std::filesystem::path(ZELTO_TEST_DATA_DIR) / "store" / name;
}

// The parts joined as lines: each ended with `end` unless it already is.
inline std::string Lines(std::initializer_list<std::string_view> parts,
                         std::string_view end = "\r\n") {
  std::string out;
  for (std::string_view part : parts) out.append(part).append(part.ends_with(end) ? "" : end);
  return out;
}

// A mask line of `count` values: 1 for the entries listed, 0 otherwise.
inline std::string MaskLine(std::initializer_list<int> selected, int count = kMaskSize) {
  std::string out;
  for (int k = 0; k < count; ++k)
    out += std::string(k ? "," : "") + (std::ranges::count(selected, k) ? "1" : "0");
  return out;
}

// Every field of every slot in use, one line per slot, dates to the second.
inline std::string Dump(const TaskTable& t) {
  auto date = [](DateTime d) {
    return FormatFileDate(d) + ":" + std::to_string(d.Seconds() - d.StartOfHour().Seconds());
  };
  auto occurrence = [&](const Occurrence& o) -> std::string {
    if (const DateTime* d = o.Date()) return date(*d);
    if (const std::string* s = o.Text()) return "'" + *s + "'";
    return "-";
  };
  std::string out;
  for (int id = 0; id <= kMaxTaskId; ++id) {
    if (!t.InUse(id)) continue;
    out += std::to_string(id) + " " + std::string(t.TaskText[id]) + " " + date(t.CheckedDate[id]) +
           " " + occurrence(t.PreviousOccurrence[id]) + " " + occurrence(t.NextOccurrence[id]);
    for (int16_t v :
         {t.TaskChecked[id], t.EveryNDays[id], t.StartDay[id], t.StartMonth[id], t.StartYear[id]})
      out += " " + std::to_string(v);
    for (MaskColumn::ConstRef m :
         {t.HourMask[id], t.WeekdayMask[id], t.DayOfMonthMask[id], t.MonthMask[id]}) {
      out += " ";
      for (int k = 0; k < kMaskSize; ++k) out += std::to_string(m[k]) + ",";
    }
    out += "\n";
  }
  return out;
}

}  // namespace zelto::test
