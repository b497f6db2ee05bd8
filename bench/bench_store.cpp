// Loading and saving a full data file (10,000 tasks, about 4 MB), each beside
// its floor: reading the file and splitting it into lines, and writing the
// same bytes twice, syncing them and renaming, as a save that survives a
// crash must.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <random>

#include "store/datafile.h"
#include "store/filebytes.h"
#include "store/linereader.h"
#include "store/merge.h"
#include "support/core/fakes.h"

namespace zelto {
namespace {

constexpr int kTasks = 10000;

// Tasks as a long-used list has them: texts of varied length with some
// accented Latin-1 bytes, hourly to yearly rules, a few markers.
std::unique_ptr<TaskTable> RealisticTable() {
  static const char* const kWords[] = {"water",   "the",          "plants",  "pay",    "rent",
                                       "call",    "mother",       "backup",  "server", "check",
                                       "caf\xe9", "r\xe9sum\xe9", "invoice", "weekly", "report",
                                       "renew",   "passport",     "clean",   "filter", "garden"};
  std::mt19937 random(20240306);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  auto table = MakeTaskTable();
  TaskTable& t = *table;
  const DateTime base = *DateTime::FromParts(2024, 3, 1);
  for (int id = 1; id <= kTasks; ++id) {
    std::string text = "Task " + std::to_string(id) + ":";
    const int words = 8 + pick(14);
    for (int w = 0; w < words; ++w) text += std::string(" ") + kWords[pick(20)];
    t.TaskText.Set(id, text);
    t.TaskChecked[id] = static_cast<int16_t>(pick(2) ? -1 : 0);
    t.CheckedDate[id] = t.TaskChecked[id] ? base.AddHours(pick(2000)) : DateTime();
    t.PreviousOccurrence[id] = base.AddHours(pick(5000));
    t.NextOccurrence[id] = pick(50) == 0 ? Occurrence(std::string(kMoreThanOneYear))
                                         : Occurrence(base.AddHours(5000 + pick(5000)));
    if (pick(4) == 0) {
      t.EveryNDays[id] = static_cast<int16_t>(1 + pick(30));
      t.StartDay[id] = static_cast<int16_t>(1 + pick(28));
      t.StartMonth[id] = static_cast<int16_t>(1 + pick(12));
      t.StartYear[id] = 2024;
    }
    for (int k = 0; k < kMaskSize; ++k) {
      t.HourMask[id][k] = static_cast<int16_t>(k < 24 && pick(6) == 0);
      t.WeekdayMask[id][k] = static_cast<int16_t>(k < 7 && pick(3) != 0);
      t.DayOfMonthMask[id][k] = static_cast<int16_t>(pick(4) != 0);
      t.MonthMask[id][k] = static_cast<int16_t>(k < 12 && pick(5) != 0);
    }
  }
  return table;
}

class Fixture {
 public:
  Fixture() : table_(RealisticTable()) {
    if (!WriteSaveFiles(MakeSaveBytes(*table_, {}), folder_.path()).Saved()) std::abort();
    bytes_ = test::ReadFileBytes(folder_ / kContentFile);
    std::printf("data file: %d tasks, %zu bytes\n", kTasks, bytes_.size());
  }
  const test::TempFolder& folder() const { return folder_; }
  const TaskTable& table() const { return *table_; }
  const std::string& bytes() const { return bytes_; }

 private:
  test::TempFolder folder_;
  std::unique_ptr<TaskTable> table_;
  std::string bytes_;
};

Fixture& Data() {
  static Fixture fixture;
  return fixture;
}

void LoadFloor(benchmark::State& state) {
  const auto file = Data().folder() / kContentFile;
  for (auto _ : state) {
    const auto bytes = ReadWholeFile(file);
    LineReader lines(bytes->View());
    std::size_t count = 0, length = 0;
    while (!lines.AtEnd()) {
      length += lines.Next().size();
      ++count;
    }
    benchmark::DoNotOptimize(count);
    benchmark::DoNotOptimize(length);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(Data().bytes().size()));
}

// Times `load` into a fresh table each time: the empty table is start-up's,
// not the loader's, work.
template <typename LoadInto>
void TimeLoads(benchmark::State& state, LoadInto load) {
  std::unique_ptr<TaskTable> table;
  bool clean = true;
  for (auto _ : state) {
    state.PauseTiming();
    table = MakeTaskTable();
    state.ResumeTiming();
    const LoadResult result = load(*table);
    clean = clean && result.Read() && result.cutShortTasks.empty();
  }
  if (!clean || table->TaskText[kTasks] != Data().table().TaskText[kTasks])
    state.SkipWithError("the file did not load cleanly");
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(Data().bytes().size()));
}

void Load(benchmark::State& state) {
  TimeLoads(state, [](TaskTable& table) { return LoadDataFile(table, Data().folder().path()); });
}

// Reading the bytes into the table alone, to tell the parser's share from
// the file's.
void LoadParseOnly(benchmark::State& state) {
  TimeLoads(state, [](TaskTable& table) { return LoadDataBytes(table, Data().bytes()); });
}

// Writes `bytes` to `file` from its start and waits until the disk has them.
bool WriteAndSync(const std::filesystem::path& file, const std::string& bytes) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  const bool ok = fd >= 0 &&
                  ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) &&
                  ::fsync(fd) == 0;
  if (fd >= 0) ::close(fd);
  return ok;
}

// One file written and synced: what the disk costs at the least.
void WriteOneFile(benchmark::State& state) {
  const auto file = Data().folder() / "one.txt";
  const std::string& bytes = Data().bytes();
  for (auto _ : state) {
    if (!WriteAndSync(file, bytes)) state.SkipWithError("write failed");
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}

// What any save that survives a crash must do with the same bytes: the
// copy written and synced, the replacement written and synced, renamed over
// the old file, and the rename made durable.
void SaveFloor(benchmark::State& state) {
  const auto folder = Data().folder().path() / "floor";
  std::filesystem::create_directories(folder);
  const auto copy = folder / "copy.txt", fresh = folder / "fresh.txt", target = folder / "data.txt";
  const std::string& bytes = Data().bytes();
  for (auto _ : state) {
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool ok = WriteAndSync(copy, bytes) && WriteAndSync(fresh, bytes) &&
                    ::rename(fresh.c_str(), target.c_str()) == 0 && dir >= 0 && ::fsync(dir) == 0;
    if (dir >= 0) ::close(dir);
    if (!ok) state.SkipWithError("write failed");
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}

void Save(benchmark::State& state) {
  for (auto _ : state) {
    if (!WriteSaveFiles(MakeSaveBytes(Data().table(), {}), Data().folder().path()).Saved())
      state.SkipWithError("save failed");
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(Data().bytes().size()));
}

// Making the bytes of a save alone, to tell its CPU share from the disk's.
void SaveFormatOnly(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(MakeSaveBytes(Data().table(), {}));
}

// Both sides of a merge as a day apart leaves them: ticks and edits here,
// ticks, refreshed occurrences and deletions there, a few tasks changed on
// both sides.
struct MergeSides {
  std::unique_ptr<TaskTable> mine, theirs;
};

MergeSides DayApart() {
  const TaskTable& base = Data().table();
  MergeSides sides{std::make_unique<TaskTable>(base), std::make_unique<TaskTable>(base)};
  TaskTable &mine = *sides.mine, &theirs = *sides.theirs;
  const DateTime now = *DateTime::FromParts(2024, 9, 1, 10);
  for (int id = 7; id <= kTasks; id += 97) mine.TaskChecked[id] = -1, mine.CheckedDate[id] = now;
  for (int id = 11; id <= kTasks; id += 201)
    mine.TaskText.Set(id, std::string(mine.TaskText[id]) + " (edited)");
  for (int id = 13; id <= kTasks; id += 89) theirs.TaskChecked[id] ^= -1;
  for (int id = 17; id <= kTasks; id += 43) theirs.NextOccurrence[id] = now.AddHours(id);
  for (int id = 19; id <= kTasks; id += 499) theirs.TaskText.Set(id, {});
  for (int id = 11; id <= kTasks; id += 2010)
    theirs.TaskText.Set(id, std::string(theirs.TaskText[id]) + " (elsewhere)");
  return sides;
}

void Merge(benchmark::State& state) {
  const MergeSides sides = DayApart();
  const MergeBase shared = MakeMergeBase(Data().table());
  MergePlan plan;
  MergeOutcome outcome;
  for (auto _ : state) {
    state.PauseTiming();
    auto merged = std::make_unique<TaskTable>(*sides.mine);
    state.ResumeTiming();
    plan = PlanMerge(shared, *merged, *sides.theirs);
    outcome = ApplyMerge(*merged, shared, *sides.theirs, plan, MergeChoice::KeepBoth);
    state.PauseTiming();
    merged.reset();
    state.ResumeTiming();
  }
  if (plan.renumbered || plan.conflicts.empty() || outcome.movedTo.empty())
    state.SkipWithError("the merge went wrong");
}

// A re-count on one side: every task is looked for at another id.
void MergePlanRecounted(benchmark::State& state) {
  MergeSides sides = DayApart();
  sides.mine->TaskText.Set(1, {});
  RecountTasks(*sides.mine);
  const MergeBase shared = MakeMergeBase(Data().table());
  bool renumbered = true;
  for (auto _ : state)
    renumbered = renumbered && PlanMerge(shared, *sides.mine, *sides.theirs).renumbered;
  if (!renumbered) state.SkipWithError("the re-count went unseen");
}

// What the window spends after each load and save to keep the base of a
// later merge.
void MergeBaseDigest(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(MakeSavedMergeBase(Data().table()));
}

BENCHMARK(MergeBaseDigest)->Name("Merge/base-10000")->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(Merge)->Name("Merge/10000")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(MergePlanRecounted)
    ->Name("Merge/10000-plan-recounted")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(LoadFloor)->Name("Load/floor")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Load)->Name("Load")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(LoadParseOnly)->Name("Load/parse-only")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(WriteOneFile)->Name("WriteOneFile")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(SaveFloor)->Name("Save/floor")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Save)->Name("Save")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(SaveFormatOnly)->Name("Save/format-only")->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace zelto

BENCHMARK_MAIN();
