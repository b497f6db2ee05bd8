// One update of the task editor's preview: the rule read from the
// controls, its next five hours searched and shown. The rules are the
// slowest found for the search: rare days that make it walk month by month.
#include <benchmark/benchmark.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <vector>

#include "editor/form2.h"
#include "support/core/fakes.h"

namespace zelto {
namespace {

struct Rule {
  std::vector<int> weekdays, days, months;  // Sunday = 1
  int everyNDays;
  QDate start;
  DateTime now;
};

// Every 43 days, on Saturdays and scattered days and months: five hours,
// each months from the one before.
const Rule kScattered{{7},
                      {2, 7, 8, 9, 11, 15, 16, 18, 19, 20, 21, 22, 24, 27, 30},
                      {2, 4, 5, 6, 7, 8, 11, 12},
                      43,
                      QDate(2024, 8, 8),
                      *DateTime::FromParts(2024, 3, 4, 20)};
// Mondays the 31st: months apart, and the search walks every month between.
const Rule kMondayThe31st{
    {2}, {31}, {}, 0, QDate(2011, 12, 18), *DateTime::FromParts(2024, 6, 15, 10, 30)};

template <size_t N>
void Select(const std::array<QCheckBox*, N>& boxes, const std::vector<int>& numbers) {
  for (QCheckBox* box : boxes) box->setChecked(numbers.empty());
  for (int n : numbers) boxes[static_cast<size_t>(n - 1)]->setChecked(true);
}

void BM_PreviewUpdate(benchmark::State& state, const Rule& rule) {
  test::FakeClock clock(rule.now);
  Form2 editor(nullptr, clock);
  editor.setAttribute(Qt::WA_DeleteOnClose, false);
  editor.Open(Form2::Mode::New, TaskValue{});
  for (QCheckBox* box : editor.Check2) box->setChecked(box == editor.Check2[9]);
  Select(editor.Check1, rule.weekdays);
  Select(editor.Check4, rule.days);
  Select(editor.Check3, rule.months);
  editor.Text2->setText(QString::number(rule.everyNDays));
  editor.DTPicker1->setDate(rule.start);
  QCoreApplication::processEvents();
  // Two moments a week apart: a label given the text it has does nothing.
  bool later = false;
  for (auto _ : state) {
    clock.Set(later ? rule.now.AddDays(7) : rule.now);
    later = !later;
    editor.UpdatePreview();
    benchmark::DoNotOptimize(editor.Label6->text().size());
  }
  state.SetLabel(editor.Label6->text().replace('\n', " | ").toStdString());
}

BENCHMARK_CAPTURE(BM_PreviewUpdate, Scattered, kScattered)
    ->Name("PreviewUpdate/scattered")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_PreviewUpdate, MondayThe31st, kMondayThe31st)
    ->Name("PreviewUpdate/monday_the_31st")
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace zelto
