// The task list with ten thousand rows: a full rebuild and a re-sort by a
// header click, each beside the same work done with a QTreeWidget; the
// rebuild with one task text of 10 MB; and the hourly refresh that brings
// every task back at once.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTreeWidget>
#include <memory>

#include "mainwindow/form1.h"
#include "platform/messagebox.h"
#include "store/tasktable.h"
#include "support/core/fakes.h"

namespace zelto {
namespace {

constexpr int kRows = 10000;

DateTime Start() {
  return *DateTime::FromParts(2024, 3, 10, 14, 30);
}

std::unique_ptr<TaskTable> MakeFullTable() {
  auto table = MakeTaskTable();
  for (int id = 1; id <= kRows; ++id) {
    table->TaskText.Set(id, "Task number " + std::to_string((id * 7919) % kRows));
    table->TaskChecked[id] = 0;
    if (id % 97 == 0)
      table->PreviousOccurrence[id] = std::string(kMoreThanOneYear);
    else
      table->PreviousOccurrence[id] = Start().AddHours(-(id * 37) % 8800);
  }
  table->TaskCount = kRows;
  return table;
}

struct Fixture {
  std::unique_ptr<TaskTable> table = MakeFullTable();
  test::FakeClock clock{Start()};
  MessageBoxes prompter;
  Form1 form{*table, clock, prompter, "/nonexistent"};
  Fixture() {
    form.show();
    QCoreApplication::processEvents();
  }
};

// The same cells the list shows, made once for the baseline.
struct Cells {
  QString id, task, occurrence;
};
std::vector<Cells> BaselineCells(Form1& form) {
  form.FillTaskList();
  std::vector<Cells> cells;
  for (int row = 0; row < form.List().RowCount(); ++row)
    cells.push_back(
        {form.List().CellText(row, 0), form.List().CellText(row, 1), form.List().CellText(row, 2)});
  return cells;
}

// The list as a stock QTreeWidget, shown at the list's size.
void ShowBaselineTree(QTreeWidget& tree) {
  tree.setColumnCount(3);
  tree.setRootIsDecorated(false);
  tree.setUniformRowHeights(true);
  tree.resize(385, 425);
  tree.show();
}

void FillTreeWidget(QTreeWidget& tree, const std::vector<Cells>& cells, int column,
                    Qt::SortOrder order) {
  tree.clear();
  QList<QTreeWidgetItem*> items;
  items.reserve(static_cast<qsizetype>(cells.size()));
  for (const Cells& c : cells) {
    auto* item = new QTreeWidgetItem(QStringList{c.id, c.task, c.occurrence});
    item->setCheckState(0, Qt::Unchecked);
    items.push_back(item);
  }
  tree.addTopLevelItems(items);
  tree.sortItems(column, order);
  if (tree.topLevelItemCount() > 0) tree.setCurrentItem(tree.topLevelItem(0));
}

void BM_FillTaskList(benchmark::State& state) {
  Fixture f;
  for (auto _ : state) {
    f.form.FillTaskList();
    QCoreApplication::processEvents();
  }
  state.counters["rows"] = f.form.List().RowCount();
}

// The same list with one task's text 10 MB long (a damaged or pasted-into
// file): the fill should cost no more than about twice the plain one.
void BM_FillTaskListHugeText(benchmark::State& state) {
  Fixture f;
  f.table->TaskText.Set(kRows / 2, std::string(10 << 20, 'x'));
  for (auto _ : state) {
    f.form.FillTaskList();
    QCoreApplication::processEvents();
  }
  state.counters["rows"] = f.form.List().RowCount();
}

void BM_FillTaskListTreeWidget(benchmark::State& state) {
  Fixture f;
  const auto cells = BaselineCells(f.form);
  QTreeWidget tree;
  ShowBaselineTree(tree);
  for (auto _ : state) {
    // The baseline gets its texts for free: only the widget's own work counts.
    FillTreeWidget(tree, cells, 0, Qt::AscendingOrder);
    QCoreApplication::processEvents();
  }
  state.counters["rows"] = tree.topLevelItemCount();
}

void BM_HeaderClick(benchmark::State& state) {
  Fixture f;
  f.form.FillTaskList();
  QCoreApplication::processEvents();
  int column = 1;
  for (auto _ : state) {
    f.form.ColumnClick(column + 1);  // every click flips the order
    QCoreApplication::processEvents();
    column = (column + 1) % 3;
  }
}

// Until the list is laid out and painted: a change lays the list out on a
// zero timer, and only then is its paint asked for.
void Settle() {
  for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
}

// The first click after a fill, on the task column: the order of the texts
// is worked out then, and kept for the clicks after it until the next fill.
void BM_HeaderClickAfterFill(benchmark::State& state) {
  Fixture f;
  for (auto _ : state) {
    state.PauseTiming();
    f.form.FillTaskList();
    Settle();
    state.ResumeTiming();
    f.form.ColumnClick(2);
    Settle();
  }
}

void BM_HeaderClickTreeWidget(benchmark::State& state) {
  Fixture f;
  const auto cells = BaselineCells(f.form);
  QTreeWidget tree;
  ShowBaselineTree(tree);
  FillTreeWidget(tree, cells, 0, Qt::AscendingOrder);
  QCoreApplication::processEvents();
  int column = 1;
  Qt::SortOrder order = Qt::AscendingOrder;
  for (auto _ : state) {
    order = order == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    tree.sortItems(column, order);
    QCoreApplication::processEvents();
    column = (column + 1) % 3;
  }
}

// The hourly refresh when every task has fallen due again: each one is
// unticked, its next occurrence searched (the next hour, for these hourly
// rules), and the ToDo list rebuilt with all of them.
void BM_HourlyRefresh(benchmark::State& state) {
  Fixture f;
  TaskTable& t = *f.table;
  for (int id = 1; id <= kRows; ++id) {
    for (int k = 0; k < kMaskSize; ++k) {
      t.HourMask[id][k] = static_cast<int16_t>(k < 24);
      t.WeekdayMask[id][k] = static_cast<int16_t>(k < 7);
      t.DayOfMonthMask[id][k] = 1;
      t.MonthMask[id][k] = static_cast<int16_t>(k < 12);
    }
  }
  for (auto _ : state) {
    state.PauseTiming();
    for (int id = 1; id <= kRows; ++id) {
      t.TaskChecked[id] = -1;
      t.CheckedDate[id] = Start().AddHours(-2);
      t.NextOccurrence[id] = Start().AddHours(-1);
    }
    state.ResumeTiming();
    f.form.RefreshAndFill();
    QCoreApplication::processEvents();
  }
  state.counters["rows"] = f.form.List().RowCount();
}

BENCHMARK(BM_FillTaskList)->Name("FillTaskList")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FillTaskListHugeText)->Name("FillTaskList/10MBtext")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FillTaskListTreeWidget)
    ->Name("FillTaskList/qtreewidget")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HourlyRefresh)->Name("HourlyRefresh/all-due")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HeaderClick)->Name("HeaderClick")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HeaderClickAfterFill)->Name("HeaderClick/after-fill")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HeaderClickTreeWidget)->Name("HeaderClick/qtreewidget")->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zelto
