// The window thread's share of an automatic save of 10,000 tasks (about
// 4 MB): making the bytes and handing them to the writer. The writing and
// syncing happen on the writer thread, outside the measured time.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <memory>
#include <string>

#include "mainwindow/autosave.h"
#include "store/merge.h"
#include "store/tasktable.h"
#include "support/core/fakes.h"

namespace zelto {
namespace {

constexpr int kTasks = 10000;

// Texts of about 80 bytes, masks as varied rules leave them, every field
// written: a full table as a long-used list has it.
std::unique_ptr<TaskTable> FullTable() {
  auto table = MakeTaskTable();
  const DateTime base = *DateTime::FromParts(2024, 3, 1);
  for (int id = 1; id <= kTasks; ++id) {
    table->TaskText.Set(id, "Task " + std::to_string(id) +
                                ": water the plants, pay the rent, renew the caf\xe9 passport");
    table->TaskChecked[id] = static_cast<int16_t>(id % 2 ? -1 : 0);
    table->CheckedDate[id] = base.AddHours(id % 2000);
    table->PreviousOccurrence[id] = base.AddHours(id % 5000);
    table->NextOccurrence[id] = base.AddHours(5000 + id % 5000);
    table->EveryNDays[id] = static_cast<int16_t>(id % 30);
    for (int k = 0; k < kMaskSize; ++k) {
      table->HourMask[id][k] = static_cast<int16_t>(k < 24 && (id + k) % 6 == 0);
      table->WeekdayMask[id][k] = static_cast<int16_t>(k < 7 && (id + k) % 3 != 0);
      table->DayOfMonthMask[id][k] = static_cast<int16_t>((id + k) % 4 != 0);
      table->MonthMask[id][k] = static_cast<int16_t>(k < 12 && (id + k) % 5 != 0);
    }
  }
  table->TaskCount = kTasks;
  return table;
}

void AutosaveWindowThread(benchmark::State& state) {
  const auto table = FullTable();
  test::TempFolder folder;
  const std::string position = "150\t90\t6000\t7995\t0\r\n700\t3000\t2100\r\n1\t1\t2\t0\r\n";
  // The bytes as the window makes them: with the base of a later merge.
  const auto makeBytes = [&] {
    SaveBytes bytes = MakeSaveBytes(*table, position);
    bytes.shared = MakeSavedMergeBase(*table);
    return bytes;
  };
  Autosave saver(folder.path(), makeBytes, [] { return true; }, {});
  for (auto _ : state) {
    saver.SaveNow();
    state.PauseTiming();
    saver.WaitIdle();  // the writer's time is not the window's
    QCoreApplication::processEvents();
    state.ResumeTiming();
  }
}
BENCHMARK(AutosaveWindowThread)
    ->Name("Autosave/window-thread")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace zelto

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
