// Mask entries other than 0 and 1: a data file may hold any 16-bit value in
// a mask, and it must come back unchanged however the table keeps it.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "schedule/occurrences.h"
#include "schedule/taskvalue.h"
#include "store/dataformat.h"
#include "store/merge.h"
#include "store_test_util.h"
#include "support/core/oracle.h"

namespace zelto {
namespace {

using test::At;

// Entries by position; the rest of the mask is 0. 257 and -255 share their
// low byte with 1, 256 and -256 with 0.
struct Entries {
  const char* what;
  std::vector<std::pair<int, int16_t>> values;
};

const Entries kCases[] = {
    {"small values", {{0, 2}, {1, -1}, {2, 9}, {30, 10}}},
    // A greyed box (2) is kept like 0 and 1; other single digits are not.
    {"greyed boxes", {{0, 2}, {5, 1}, {6, 2}, {30, 2}}},
    {"single digits above 2", {{0, 3}, {1, 9}, {2, 2}, {4, 1}, {30, 5}}},
    {"the ends of a byte", {{0, 127}, {1, -127}, {2, -128}, {3, 128}, {4, 255}}},
    {"near 0 and 1 in the low byte", {{0, 256}, {1, 257}, {2, -256}, {3, -255}, {30, 513}}},
    {"the ends of 16 bits", {{0, -32768}, {15, 32767}, {30, -32767}}},
    {"wide among 0 and 1", {{0, 1}, {1, 1000}, {2, 0}, {3, 1}, {4, -32768}, {5, 1}, {30, 1}}},
    {"every entry wide",
     [] {
       std::vector<std::pair<int, int16_t>> all;
       for (int k = 0; k < kMaskSize; ++k) all.emplace_back(k, static_cast<int16_t>(300 + k));
       return all;
     }()},
};

std::array<int16_t, kMaskSize> Expected(const Entries& c) {
  std::array<int16_t, kMaskSize> entries{};
  for (const auto& [k, value] : c.values) entries[static_cast<std::size_t>(k)] = value;
  return entries;
}

// The hour mask of Task() below.
std::array<int16_t, kMaskSize> TaskHours(const Entries& c) {
  auto entries = Expected(c);
  if (std::ranges::none_of(c.values, [](const auto& entry) { return entry.first == 9; }))
    entries[9] = 1;
  return entries;
}

void Put(MaskColumn::Ref mask, const Entries& c) {
  for (const auto& [k, value] : c.values) mask[k] = value;
}

// The mask line as the file must hold it.
std::string LineOf(const std::array<int16_t, kMaskSize>& entries) {
  std::string line;
  for (int16_t value : entries) line += std::to_string(value) + ",";
  line.back() = '\r';
  return line + "\n";
}

void ExpectEntries(MaskColumn::ConstRef mask, const std::array<int16_t, kMaskSize>& entries) {
  const Mask whole = mask;
  for (int k = 0; k < kMaskSize; ++k) {
    EXPECT_EQ(mask[k], entries[static_cast<std::size_t>(k)]) << "entry " << k;
    EXPECT_EQ(whole[k], entries[static_cast<std::size_t>(k)]) << "entry " << k << " of the copy";
  }
}

// A task in slot `id` due daily at 9, the given entries in its hour mask.
void Task(TaskTable& t, int id, const Entries& c) {
  t.TaskText.Set(id, "task " + std::to_string(id));
  t.WeekdayMask[id].Fill(1);
  t.DayOfMonthMask[id].Fill(1);
  t.MonthMask[id].Fill(1);
  t.HourMask[id][9] = 1;
  Put(t.HourMask[id], c);
}

// With dates, the record has the shape the program writes and is read the
// quick way; without, line by line.
TEST(MaskValues, RoundTripThroughTheFileByteForByte) {
  for (const bool dated : {false, true})
    for (const Entries& c : kCases) {
      SCOPED_TRACE(c.what);
      SCOPED_TRACE(dated ? "dated" : "no dates");
      const auto entries = Expected(c);
      auto table = MakeTaskTable();
      table->TaskText.Set(7, "task");
      if (dated) {
        table->CheckedDate[7] = At(2024, 3, 15, 12);
        table->PreviousOccurrence[7] = At(2024, 3, 15, 9);
        table->NextOccurrence[7] = At(2024, 3, 16, 9);
      }
      // Each mask of its own, so that no column's entries stand in for another's;
      // every entry was wide before.
      for (const auto column : {&TaskTable::HourMask, &TaskTable::WeekdayMask,
                                &TaskTable::DayOfMonthMask, &TaskTable::MonthMask}) {
        ((*table).*column)[7].Fill(-5000);
        for (int k = 0; k < kMaskSize; ++k) ((*table).*column)[7][k] = 0;
        Put(((*table).*column)[7], c);
      }
      const std::string file = FormatDataFile(*table);
      EXPECT_NE(file.find("\r\n" + LineOf(entries) + LineOf(entries) + LineOf(entries) +
                          LineOf(entries) + "*** end\r\n"),
                std::string::npos)
          << file;

      auto loaded = MakeTaskTable();
      ASSERT_TRUE(LoadDataBytes(*loaded, file).Read());
      for (const auto column : {&TaskTable::HourMask, &TaskTable::WeekdayMask,
                                &TaskTable::DayOfMonthMask, &TaskTable::MonthMask})
        ExpectEntries((std::as_const(*loaded).*column)[7], entries);
      EXPECT_EQ(FormatDataFile(*loaded), file);
    }
}

// Later records overwrite earlier ones field by field: a wide entry that a
// later plain line replaces must not come back, nor a plain one that a
// later wide line replaces stay.
TEST(MaskValues, ALaterLineReplacesTheWholeMask) {
  const std::string plain = test::MaskLine({3, 4});
  const std::string wide = "400,0,0,1,-2,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,32767";
  auto record = [](const char* text, const std::string& mask) {
    return test::Lines({"*****", " 1 ", text, "2024-01-01-00\t2024-01-01-00\t2024-01-01-00",
                        "0,0,0,0,0", mask, mask, mask, mask});
  };
  for (const auto& [first, second] : {std::pair{wide, plain}, std::pair{plain, wide}}) {
    auto table = MakeTaskTable();
    ASSERT_TRUE(
        LoadDataBytes(*table, record("a", first) + record("b", second) + "*** end\r\n").Read());
    auto expected = MakeTaskTable();
    ASSERT_TRUE(LoadDataBytes(*expected, record("b", second) + "*** end\r\n").Read());
    EXPECT_EQ(test::Dump(*table), test::Dump(*expected));
    EXPECT_EQ(FormatDataFile(*table), FormatDataFile(*expected));
  }
}

TEST(MaskValues, RecountMovesThemAndLeavesNoneBehind) {
  for (const Entries& c : kCases) {
    SCOPED_TRACE(c.what);
    auto table = MakeTaskTable();
    // Slot 1 is free but keeps wide entries where the moved task has 0.
    table->HourMask[1].Fill(-20000);
    table->DayOfMonthMask[1][29] = 4000;
    Task(*table, 6, c);
    RecountTasks(*table);
    auto expected = MakeTaskTable();
    Task(*expected, 1, c);
    expected->TaskText.Set(1, "task 6");
    EXPECT_EQ(test::Dump(*table), test::Dump(*expected));
    ExpectEntries(std::as_const(*table).HourMask[1], TaskHours(c));
    EXPECT_EQ(std::as_const(*table).DayOfMonthMask[1][29], 1);
  }
}

// A rule that differs from base only in a wide entry is a changed rule, and
// the merge takes it whole from the side that changed it.
TEST(MaskValues, MergeSeesAndCarriesThem) {
  const Entries before{"before", {{3, 300}, {4, -1}}};
  const Entries after{"after", {{3, 301}, {4, -1}}};  // the same bytes, but for the value
  std::vector<Entries> changes(std::begin(kCases), std::end(kCases));
  changes.push_back(after);
  for (const Entries& c : changes) {
    SCOPED_TRACE(c.what);
    auto base = MakeTaskTable();
    Task(*base, 2, before);
    auto mine = std::make_unique<TaskTable>(*base);
    auto theirs = std::make_unique<TaskTable>(*base);
    theirs->HourMask[2].Fill(0);
    Task(*theirs, 2, c);
    const MergeBase shared = MakeMergeBase(*base);
    MergePlan plan = PlanMerge(shared, *mine, *theirs);
    ASSERT_TRUE(plan.Clean());
    ApplyMerge(*mine, shared, *theirs, plan, MergeChoice::KeepMine);
    EXPECT_EQ(test::Dump(*mine), test::Dump(*theirs));
    ExpectEntries(std::as_const(*mine).HourMask[2], TaskHours(c));
    // Both sides changed it the same way: one task, no conflict.
    plan = PlanMerge(shared, *mine, *theirs);
    EXPECT_TRUE(plan.Clean());
    ApplyMerge(*mine, shared, *theirs, plan, MergeChoice::KeepBoth);
    EXPECT_EQ(test::Dump(*mine), test::Dump(*theirs));
  }
}

// Only an entry of exactly 1 selects, however wide the others are: the
// search finds what it finds with 0 in their place.
TEST(MaskValues, SearchSelectsOnlyOnes) {
  const DateTime now = At(2024, 3, 15, 12);
  for (const Entries& c : kCases) {
    SCOPED_TRACE(c.what);
    Entries ones{c.what, {}};  // 1 where c has 1, 0 elsewhere
    for (const auto& [k, value] : c.values)
      ones.values.emplace_back(k, static_cast<int16_t>(value == 1));
    auto table = MakeTaskTable(), plain = MakeTaskTable();
    for (const auto& [t, entries] :
         {std::pair{table.get(), &c}, std::pair{plain.get(), static_cast<const Entries*>(&ones)}}) {
      Task(*t, 3, *entries);
      // The other masks hold the same entries, and 1 where the rule needs a day.
      for (const auto column :
           {&TaskTable::WeekdayMask, &TaskTable::DayOfMonthMask, &TaskTable::MonthMask}) {
        for (int k = 0; k < kMaskSize; k += 2) ((*t).*column)[3][k] = 1;
        Put(((*t).*column)[3], *entries);
      }
    }
    FindOccurrences(*table, 3, now);
    test::FindOccurrencesOracle(*plain, 3, now);
    EXPECT_EQ(table->PreviousOccurrence[3], plain->PreviousOccurrence[3]);
    EXPECT_EQ(table->NextOccurrence[3], plain->NextOccurrence[3]);
    // The editor's copy of the rule finds the same next hour.
    const std::vector<DateTime> next = NextOccurrences(ReadTaskValue(*table, 3), now, 1);
    EXPECT_EQ(next.empty() ? Occurrence(std::string(kMoreThanOneYear)) : Occurrence(next[0]),
              plain->NextOccurrence[3]);
  }
}

TEST(MaskValues, AccessOutsideTheTableThrows) {
  auto table = MakeTaskTable();
  TaskTable& t = *table;
  const TaskTable& c = *table;
  t.HourMask[kMaxTaskId][kMaskSize - 1] = 500;
  const std::vector<std::pair<const char*, std::function<void()>>> accesses = {
      {"id -1", [&] { t.HourMask[-1][0] = 1; }},
      {"id past the end", [&] { t.MonthMask[kSlotCount].Fill(1); }},
      {"id past the end, read", [&] { (void)c.WeekdayMask[kSlotCount][0]; }},
      {"entry -1", [&] { t.DayOfMonthMask[kMaxTaskId][-1] = 300; }},
      {"entry 31", [&] { t.HourMask[kMaxTaskId][kMaskSize] = 1; }},
      {"entry 31, read", [&] { (void)c.HourMask[0][kMaskSize]; }},
      {"entry far out", [&] { (void)static_cast<int16_t>(t.HourMask[5][1 << 20]); }},
  };
  for (const auto& [what, access] : accesses) EXPECT_THROW(access(), std::out_of_range) << what;
  EXPECT_EQ(c.HourMask[kMaxTaskId][kMaskSize - 1], 500) << "nothing written next to it";
  EXPECT_EQ(Mask(c.HourMask[0])[0], 0);
}

}  // namespace
}  // namespace zelto
