// The occurrence search as the program runs it ("fast") beside the hour-by-
// hour reference scan ("oracle") on the same tasks and moments.
#include <benchmark/benchmark.h>

#include <array>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "schedule/occurrences.h"
#include "schedule/passes.h"
#include "support/core/oracle.h"

namespace zelto {
namespace {

using SearchFn = void (*)(TaskTable&, int, DateTime);

DateTime Date(int y, int m, int d, int h = 0, int mi = 0) {
  return *DateTime::FromParts(y, m, d, h, mi);
}

struct Rule {
  const char* name;
  std::vector<int> hours, weekdays, days, months;  // empty: all
  int everyNDays = 0;
  int startYear = 2024, startMonth = 1, startDay = 1;
};

void WriteMask(MaskColumn::Ref mask, const std::vector<int>& selected, int first, int count) {
  mask.Fill(0);
  if (selected.empty()) {
    for (int k = 0; k < count; ++k) mask[k] = 1;
  }
  for (int v : selected) mask[v - first] = 1;
}

void WriteRule(TaskTable& t, int id, const Rule& r) {
  t.TaskText.Set(id, r.name);
  WriteMask(t.HourMask[id], r.hours, 0, 24);
  WriteMask(t.WeekdayMask[id], r.weekdays, 1, 7);
  WriteMask(t.DayOfMonthMask[id], r.days, 1, 31);
  WriteMask(t.MonthMask[id], r.months, 1, 12);
  t.EveryNDays[id] = static_cast<int16_t>(r.everyNDays);
  t.StartYear[id] = static_cast<int16_t>(r.startYear);
  t.StartMonth[id] = static_cast<int16_t>(r.startMonth);
  t.StartDay[id] = static_cast<int16_t>(r.startDay);
}

// What people put in a to-do list of recurring tasks.
const std::array<Rule, 8> kMix = {{
    {"daily", {8}, {}, {}, {}},
    {"twice daily", {8, 20}, {}, {}, {}},
    {"workdays", {9}, {2, 3, 4, 5, 6}, {}, {}},
    {"weekly", {10}, {2}, {}, {}},
    {"monthly", {9}, {}, {1}, {}},
    {"yearly", {12}, {}, {15}, {3}},
    {"every 3 days", {7}, {}, {}, {}, 3, 2024, 1, 1},
    {"quarterly", {9}, {}, {1}, {1, 4, 7, 10}},
}};

constexpr int kTasks = 1024;  // ids 1..kTasks

// Moments spread over ten years, minutes included.
std::vector<DateTime> Moments(int count) {
  std::mt19937_64 rng(7);
  const int64_t first = Date(2020, 1, 1).Seconds();
  const int64_t last = Date(2030, 1, 1).Seconds();
  std::vector<DateTime> out;
  for (int i = 0; i < count; ++i) {
    out.push_back(DateTime::FromSeconds(std::uniform_int_distribution<int64_t>(first, last)(rng)));
  }
  return out;
}

// Every check passes except an each-n-days of 1000 whose days all lie more
// than a year from now: both scans run to their ends.
constexpr int kNeverInterval = 1000;
void WriteNeverRule(TaskTable& t, int id, DateTime now, int offset) {
  int y, m, d;
  now.AddDays(368 + offset % 264).YearMonthDay(y, m, d);
  WriteRule(t, id, Rule{"never", {}, {}, {}, {}, kNeverInterval, y, m, d});
}

const DateTime kWorstNow = Date(2024, 6, 15, 10, 30);

// Two more rules that rarely or never match, each slow for one way the
// search can go: every other Monday that is a 31st walks every month of both
// years; a 40-day interval that only 30 or 31 February would meet jumps from
// February to February.
const Rule kSparseWalk{"every other Monday the 31st", {9}, {2}, {31}, {}, 14, 2024, 1, 1};
const Rule kNoSuchDay{"impossible days", {}, {}, {30, 31}, {2}, 40, 2024, 1, 1};

enum class Input { Mix, Never, SparseWalk, NoSuchDay };

void Search(benchmark::State& state, SearchFn search, Input input) {
  auto t = MakeTaskTable();
  std::vector<DateTime> moments = Moments(kTasks);
  for (int id = 1; id <= kTasks; ++id) {
    switch (input) {
      case Input::Mix:
        WriteRule(*t, id, kMix[id % kMix.size()]);
        break;
      case Input::Never:
        moments[id - 1] = kWorstNow;
        WriteNeverRule(*t, id, kWorstNow, id * 37);
        break;
      case Input::SparseWalk:
        WriteRule(*t, id, kSparseWalk);
        break;
      case Input::NoSuchDay:
        WriteRule(*t, id, kNoSuchDay);
        break;
    }
  }
  int i = 0;
  for (auto _ : state) {
    search(*t, i + 1, moments[i]);
    benchmark::DoNotOptimize(t->NextOccurrence[i + 1]);
    i = (i + 1) % kTasks;
  }
  state.SetItemsProcessed(state.iterations());
}

// The whole-table recalculation over 10,000 worst-case tasks. The oracle
// variant walks the table the same way with the reference scan.
void RecalculateOracle(TaskTable& t, DateTime now) {
  for (int id = 0; id <= kMaxTaskId; ++id) {
    if (t.TaskText[id].empty()) continue;
    test::FindOccurrencesOracle(t, id, now);
    if (!HoldsText(t.NextOccurrence[id], kMoreThanOneYear)) {
      const auto next = OccurrenceAsDate(t.NextOccurrence[id]);
      if (!next || now >= *next) t.TaskChecked[id] = 0;
    }
    t.TaskCount = static_cast<int16_t>(id);
  }
}

void Recalculate(benchmark::State& state, bool oracle) {
  auto t = MakeTaskTable();
  for (int id = 1; id <= kMaxTaskId; ++id) WriteNeverRule(*t, id, kWorstNow, id * 37);
  for (auto _ : state) {
    if (oracle) {
      RecalculateOracle(*t, kWorstNow);
    } else {
      RecalculateAll(*t, kWorstNow);
    }
    benchmark::DoNotOptimize(t->TaskCount);
  }
  state.SetItemsProcessed(state.iterations() * kMaxTaskId);
}

void RegisterAll() {
  const struct {
    const char* name;
    Input input;
  } inputs[] = {{"Mix", Input::Mix},
                {"NeverMatches", Input::Never},
                {"RareMonthWalk", Input::SparseWalk},
                {"NeverMatchesNoSuchDay", Input::NoSuchDay}};
  for (const auto& in : inputs) {
    const std::string name = std::string("FindOccurrences_") + in.name;
    benchmark::RegisterBenchmark((name + "/oracle").c_str(), Search, test::FindOccurrencesOracle,
                                 in.input);
    benchmark::RegisterBenchmark((name + "/fast").c_str(), Search, FindOccurrences, in.input);
  }
  benchmark::RegisterBenchmark("RecalculateAll_10000NeverMatch/oracle", Recalculate, true)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(2);
  benchmark::RegisterBenchmark("RecalculateAll_10000NeverMatch/fast", Recalculate, false)
      ->Unit(benchmark::kMillisecond);
}

}  // namespace
}  // namespace zelto

int main(int argc, char** argv) {
  zelto::RegisterAll();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
