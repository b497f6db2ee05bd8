// Another program replaced a data file of 10,000 tasks: what the window
// thread spends to notice it and take the new version in (read, compare,
// load, refresh, rebuild the list with its selection), and what a look at
// an unchanged file costs.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <filesystem>
#include <memory>

#include "mainwindow/form1.h"
#include "platform/messagebox.h"
#include "schedule/occurrences.h"
#include "store/datafile.h"
#include "support/core/fakes.h"

namespace zelto {
namespace {

constexpr int kTasks = 10000;

DateTime Start() {
  return *DateTime::FromParts(2024, 3, 10, 14, 30);
}

// Tasks of about 400 bytes each, as a long-used list has: 4 MB in all.
std::unique_ptr<TaskTable> MakeFullTable(int ticked) {
  auto table = MakeTaskTable();
  for (int id = 1; id <= kTasks; ++id) {
    TaskTable& t = *table;
    t.TaskText.Set(id, "Task number " + std::to_string((id * 7919) % kTasks) + " " +
                           std::string(static_cast<std::size_t>(id % 40), 'x'));
    t.EveryNDays[id] = 0;
    for (int k = 0; k < kMaskSize; ++k) {
      t.HourMask[id][k] = static_cast<int16_t>(k == id % 24);
      t.WeekdayMask[id][k] = static_cast<int16_t>(k < 7);
      t.DayOfMonthMask[id][k] = 1;
      t.MonthMask[id][k] = static_cast<int16_t>(k < 12);
    }
    t.TaskChecked[id] = id % ticked == 0 ? -1 : 0;
    if (t.TaskChecked[id]) t.CheckedDate[id] = Start();
    FindOccurrences(t, id, Start());
  }
  table->TaskCount = kTasks;
  return table;
}

struct Fixture {
  test::TempFolder folder;
  std::string versions[2];
  std::unique_ptr<TaskTable> table = MakeTaskTable();
  test::FakeClock clock{Start()};
  MessageBoxes prompter;
  std::unique_ptr<Form1> form;

  Fixture() {
    versions[0] = FormatDataFile(*MakeFullTable(5));
    versions[1] = FormatDataFile(*MakeFullTable(7));  // other ticks: the other computer's
    Replace(0);
    form = std::make_unique<Form1>(*table, clock, prompter, folder.path());
    form->Life().StartUp();
    form->show();
    QCoreApplication::processEvents();
  }
  void Replace(int version) {
    test::WriteFileBytes(folder / ".incoming", versions[version]);
    std::filesystem::rename(folder / ".incoming", folder / "content.txt");
  }
};

void BM_OtherVersionTakenIn(benchmark::State& state) {
  Fixture f;
  int version = 0;
  for (auto _ : state) {
    state.PauseTiming();
    version = 1 - version;
    f.Replace(version);
    QCoreApplication::processEvents();  // the watch's own events, not timed
    state.ResumeTiming();
    f.form->Life().CheckDataFile();
    QCoreApplication::processEvents();
  }
  state.counters["rows"] = f.form->List().RowCount();
  state.counters["MB"] = static_cast<double>(f.versions[0].size()) / (1 << 20);
}

void BM_UnchangedFile(benchmark::State& state) {
  Fixture f;
  for (auto _ : state) f.form->Life().CheckDataFile();
}

BENCHMARK(BM_OtherVersionTakenIn)->Name("OtherWriter/reload")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnchangedFile)->Name("OtherWriter/unchanged")->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace zelto
