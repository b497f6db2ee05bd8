#include "mainwindow/tasklist.h"

#include <QHeaderView>
#include <QLocale>
#include <QTreeView>

#include "look/twips.h"
#include "mainwindow/tasklistmodel.h"
#include "platform/textcodec.h"
#include "store/convert.h"

namespace zelto {
namespace {

const QString kPreviousHeader = QStringLiteral("Previous occurence");
const QString kNextHeader = QStringLiteral("Next occurence");

// A stored sort value as a number: the position file keeps them as text and
// an unset one counts as 0. Text that is not a number gives nothing, and
// whatever it was meant to set keeps its setting.
std::optional<int> SortNumber(const QString& text) {
  if (text.isEmpty()) return 0;
  if (const auto value = ParseInt16(text.toStdString())) return *value;
  return std::nullopt;
}

void AppendDigits(QChar*& out, int value, int width) {
  for (int i = width - 1; i >= 0; --i) {
    out[i] = QChar(u'0' + value % 10);
    value /= 10;
  }
  out += width;
}

// "yyyy-mm-dd ddd hh:nn", built by hand: the locale's formatter costs more
// than the rest of a rebuild of ten thousand rows.
QString FormatListDate(DateTime value, const std::array<QString, 7>& weekdayNames) {
  int year = 0, month = 0, day = 0;
  value.YearMonthDay(year, month, day);
  const QString& name = weekdayNames[static_cast<size_t>(value.Weekday() - 1)];
  QString text(17 + name.size(), Qt::Uninitialized);
  QChar* out = text.data();
  AppendDigits(out, year, 4);
  *out++ = u'-';
  AppendDigits(out, month, 2);
  *out++ = u'-';
  AppendDigits(out, day, 2);
  *out++ = u' ';
  for (const QChar c : name) *out++ = c;
  *out++ = u' ';
  AppendDigits(out, value.Hour(), 2);
  *out++ = u':';
  AppendDigits(out, value.Minute(), 2);
  return text;
}

// The date-time an occurrence cell shows as a date, if it shows one.
std::optional<DateTime> ShownDate(const Occurrence& value) {
  if (const auto* date = std::get_if<DateTime>(&value)) return *date;
  if (std::holds_alternative<std::string>(value)) return OccurrenceAsDate(value);
  return std::nullopt;
}

// A date the oldest file format kept as text is shown, and so sorted, like
// any other date; only the markers stand as they are.
QString OccurrenceText(const Occurrence& value, const std::optional<DateTime>& shown,
                       const std::array<QString, 7>& weekdayNames) {
  if (shown) return FormatListDate(*shown, weekdayNames);
  if (const auto* text = std::get_if<std::string>(&value)) return DisplayText(*text);
  return {};
}

void SetUpView(QTreeView* view) {
  view->setRootIsDecorated(false);
  view->setItemsExpandable(false);
  view->setUniformRowHeights(true);
  view->setAllColumnsShowFocus(true);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setTextElideMode(Qt::ElideRight);
  QHeaderView* header = view->header();
  header->setStretchLastSection(false);
  header->setSectionsMovable(false);
  header->setSectionsClickable(true);
  header->setSortIndicatorShown(false);
  header->setHighlightSections(false);
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  header->setMinimumSectionSize(8);
  for (int i = 0; i < 3; ++i) header->resizeSection(i, DesignPixels(kColumnTwips[i]));
}

}  // namespace

// Task text is nearly always ASCII; skip the decoder for it.
QString DisplayText(const std::string& bytes) {
  for (const char c : bytes)
    if (static_cast<unsigned char>(c) >= 0x80) return DecodeText(bytes);
  return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

TaskList::TaskList(QTreeView* view, const QIcon& asc, const QIcon& desc, const QIcon& none)
    : view_(view), model_(new TaskListModel(view)) {
  const QLocale locale;
  for (int weekday = 1; weekday <= 7; ++weekday) {
    // Qt counts Monday as 1; the table counts Sunday as 1.
    weekdayNames_[static_cast<size_t>(weekday - 1)] =
        locale.dayName(weekday == 1 ? 7 : weekday - 1, QLocale::ShortFormat);
  }
  model_->SetHeaderImages(asc, desc, none);
  model_->SetHeaderText(0, "ID");
  model_->SetHeaderText(1, "Task");
  model_->SetHeaderText(2, kPreviousHeader);
  view_->setModel(model_);
  SetUpView(view_);
  // Design-time sort (first column, ascending) with sorting on and every
  // header plain until a sort is chosen.
  for (int column = 1; column <= 3; ++column) SetHeaderImage(column, 3);
}

void TaskList::Fill(const TaskTable& table, View view) {
  const bool todo = view == View::ToDo;
  const bool done = view == View::Done;
  std::vector<TaskListModel::Row> rows;
  rows.reserve(static_cast<size_t>(model_->rowCount()) + 64);
  for (int id = 0; id <= kMaxTaskId; ++id) {
    const std::string& text = table.TaskText[id];
    if (text.empty()) continue;
    const int16_t checked = table.TaskChecked[id];
    if (!((todo && checked == 0) || (done && checked == -1))) continue;
    TaskListModel::Row row;
    row.id = id;
    row.idText = QString::number(id);
    row.task = DisplayText(text);
    const Occurrence& occurrence = todo ? table.PreviousOccurrence[id] : table.NextOccurrence[id];
    const std::optional<DateTime> shown = ShownDate(occurrence);
    row.occurrence = OccurrenceText(occurrence, shown, weekdayNames_);
    if (shown) row.occurrenceMinute = DateTime::FloorDiv(shown->Seconds(), 60);
    row.checked = checked != 0;
    rows.push_back(std::move(row));
  }
  if (todo || done) {
    if (const auto key = SortNumber(todo ? TodoSortColumn : DoneSortColumn))
      model_->SetSortKey(*key);
    if (const auto order = SortNumber(todo ? TodoSortOrder : DoneSortOrder))
      model_->SetSortOrder(*order);
  }
  model_->SetRows(std::move(rows));
  SelectFirstRow();
}

void TaskList::SelectFirstRow() {
  if (model_->rowCount() == 0) return;
  const QModelIndex first = model_->index(0, 0);
  view_->selectionModel()->setCurrentIndex(
      first, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  view_->scrollTo(first);
}

void TaskList::ColumnClick(int column, View view) {
  model_->SetSortKey(column - 1);
  model_->SetSortOrder(1 - model_->SortOrder());
  model_->Sort();
  const QString key = QString::number(model_->SortKey());
  const QString order = QString::number(model_->SortOrder());
  if (view == View::ToDo) {
    TodoSortColumn = key;
    TodoSortOrder = order;
  } else if (view == View::Done) {
    DoneSortColumn = key;
    DoneSortOrder = order;
  }
  for (int c = 1; c <= 3; ++c) SetHeaderImage(c, 3);
  SetHeaderImage(column, model_->SortOrder() + 1);
}

void TaskList::SwitchTo(View view, const TaskTable& table) {
  const bool todo = view == View::ToDo;
  model_->SetHeaderText(2, todo ? kPreviousHeader : kNextHeader);
  Fill(table, view);
  SelectFirstRow();
  if (todo)
    ShowHeaderImages(TodoSortColumn, TodoSortOrder);
  else
    ShowHeaderImages(DoneSortColumn, DoneSortOrder);
}

void TaskList::ShowHeaderImages(const QString& column, const QString& order) {
  for (int c = 1; c <= 3; ++c) SetHeaderImage(c, 3);
  const auto key = SortNumber(column);
  const auto direction = SortNumber(order);
  if (key && direction) SetHeaderImage(*key + 1, *direction + 1);
}

std::optional<int> TaskList::SelectedTaskId() const {
  const QModelIndexList rows = view_->selectionModel()->selectedRows();
  if (rows.isEmpty()) return std::nullopt;
  return rows.first().data(TaskListModel::kTaskIdRole).toInt();
}

int TaskList::TaskIdAt(int row) const {
  return row >= 0 && row < model_->rowCount() ? model_->RowAt(row).id : -1;
}

int TaskList::RowCount() const {
  return model_->rowCount();
}

QString TaskList::CellText(int row, int column) const {
  if (row < 0 || row >= model_->rowCount()) return {};
  const auto& r = model_->RowAt(row);
  return column == 0 ? r.idText : column == 1 ? r.task : r.occurrence;
}

bool TaskList::RowChecked(int row) const {
  return row >= 0 && row < model_->rowCount() && model_->RowAt(row).checked;
}

int TaskList::SelectedRow() const {
  const QModelIndexList rows = view_->selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.first().row();
}

QString TaskList::HeaderText(int column) const {
  return model_->HeaderText(column - 1);
}
int TaskList::HeaderImage(int column) const {
  return model_->HeaderImage(column - 1);
}
void TaskList::SetHeaderImage(int column, int image) {
  model_->SetHeaderImage(column - 1, image);
}

int TaskList::SortKey() const {
  return model_->SortKey();
}
int TaskList::SortOrder() const {
  return model_->SortOrder();
}
void TaskList::SetSort(int column, int order) {
  model_->SetSortKey(column);
  model_->SetSortOrder(order);
  model_->Sort();
}

}  // namespace zelto
