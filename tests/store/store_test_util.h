#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "store/datafile.h"
#include "store/tasktable.h"
#include "support/core/fakes.h"

namespace zelto::test {

inline std::filesystem::path StoreData(std::string_view name) {
  return std::filesystem::path(ZELTO_TEST_DATA_DIR) / "store" / name;
}

// The lines joined with CR LF, the last one ended too.
inline std::string Lines(std::initializer_list<std::string_view> lines,
                         std::string_view end = "\r\n") {
  std::string out;
  for (std::string_view line : lines) {
    out += line;
    out += end;
  }
  return out;
}

// A mask line of `count` values: 1 for the entries listed, 0 otherwise.
inline std::string MaskLine(std::initializer_list<int> selected, int count = kMaskSize) {
  std::string out;
  for (int k = 0; k < count; ++k) {
    if (k > 0) out += ',';
    bool on = false;
    for (int s : selected) on = on || s == k;
    out += on ? '1' : '0';
  }
  return out;
}

inline std::string Describe(const Occurrence& value) {
  if (std::holds_alternative<std::monostate>(value)) return "(nothing)";
  if (const auto* date = std::get_if<DateTime>(&value)) return FormatFileDate(*date);
  return "text \"" + std::get<std::string>(value) + "\"";
}

// Every field of one slot, or the first difference found.
inline ::testing::AssertionResult SameSlot(const TaskTable& a, const TaskTable& b, int id) {
  std::ostringstream diff;
  auto masks = [&](const Mask& x, const Mask& y, const char* name) {
    for (int k = 0; k < kMaskSize; ++k)
      if (x[k] != y[k]) diff << name << "[" << k << "] " << x[k] << " vs " << y[k] << "; ";
  };
  if (a.TaskText[id] != b.TaskText[id])
    diff << "TaskText \"" << a.TaskText[id] << "\" vs \"" << b.TaskText[id] << "\"; ";
  if (a.EveryNDays[id] != b.EveryNDays[id] || a.StartDay[id] != b.StartDay[id] ||
      a.StartMonth[id] != b.StartMonth[id] || a.StartYear[id] != b.StartYear[id])
    diff << "each-n-days rule; ";
  if (a.TaskChecked[id] != b.TaskChecked[id]) diff << "TaskChecked; ";
  masks(a.HourMask[id], b.HourMask[id], "HourMask");
  masks(a.WeekdayMask[id], b.WeekdayMask[id], "WeekdayMask");
  masks(a.DayOfMonthMask[id], b.DayOfMonthMask[id], "DayOfMonthMask");
  masks(a.MonthMask[id], b.MonthMask[id], "MonthMask");
  if (a.PreviousOccurrence[id] != b.PreviousOccurrence[id])
    diff << "PreviousOccurrence " << Describe(a.PreviousOccurrence[id]) << " vs "
         << Describe(b.PreviousOccurrence[id]) << "; ";
  if (a.NextOccurrence[id] != b.NextOccurrence[id])
    diff << "NextOccurrence " << Describe(a.NextOccurrence[id]) << " vs "
         << Describe(b.NextOccurrence[id]) << "; ";
  if (a.CheckedDate[id] != b.CheckedDate[id])
    diff << "CheckedDate " << FormatFileDate(a.CheckedDate[id]) << " vs "
         << FormatFileDate(b.CheckedDate[id]) << "; ";
  if (diff.str().empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "id " << id << ": " << diff.str();
}

// The slots in use of both tables, field by field.
inline ::testing::AssertionResult SameTasks(const TaskTable& a, const TaskTable& b) {
  for (int id = 0; id <= kMaxTaskId; ++id) {
    if (!a.InUse(id) && !b.InUse(id)) continue;
    if (auto same = SameSlot(a, b, id); !same) return same;
  }
  return ::testing::AssertionSuccess();
}

inline std::vector<std::string> Texts(const ScriptedPrompter& prompter) {
  std::vector<std::string> out;
  for (const auto& q : prompter.asked) out.push_back(q.text);
  return out;
}

}  // namespace zelto::test
