#include "mainwindow/tasklist.h"

#include <QHeaderView>
#include <QStringDecoder>
#include <QTreeView>

#include "look/listdate.h"
#include "look/twips.h"
#include "mainwindow/tasklistdelegate.h"
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

// The date-time an occurrence cell shows as a date, if it shows one.
std::optional<DateTime> ShownDate(const Occurrence& value) {
  if (const DateTime* date = value.Date()) return *date;
  if (value.Text() != nullptr) return OccurrenceAsDate(value);
  return std::nullopt;
}

bool IsAscii(std::string_view bytes) {
  return QtPrivate::isAscii(QLatin1StringView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

void SetUpView(QTreeView* view) {
  view->setRootIsDecorated(false);
  view->setItemsExpandable(false);
  view->setUniformRowHeights(true);
  view->setItemDelegate(new TaskListDelegate(view));
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
QString DisplayText(std::string_view bytes) {
  if (!IsAscii(bytes)) return DecodeText(bytes);
  return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QString ListText(std::string_view bytes) {
  if (bytes.size() <= kListTextChars) return DisplayText(bytes);
  // The encoding is the whole text's, as the editor shows it; only the
  // start is decoded. No byte gives more than one UTF-16 unit.
  const auto size = static_cast<qsizetype>(bytes.size());
  std::size_t cut = kListTextChars;
  QString text;
  if (QByteArrayView(bytes.data(), size).isValidUtf8()) {
    while (cut > 0 && (static_cast<unsigned char>(bytes[cut]) & 0xC0) == 0x80) --cut;
    text = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(cut));
  } else {
    QStringDecoder cp1252("windows-1252");
    const QByteArrayView start(bytes.data(), static_cast<qsizetype>(cut));
    if (cp1252.isValid()) text = cp1252.decode(start);
    if (!cp1252.isValid() || cp1252.hasError()) text = QString::fromLatin1(start);
  }
  return text + QChar(0x2026);  // "…": there is more
}

TaskList::TaskList(QTreeView* view, const QIcon& asc, const QIcon& desc, const QIcon& none)
    : view_(view), model_(new TaskListModel(view)) {
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
  TaskListModel::Rows rows;
  // A rebuild mostly lists what the last one did.
  rows.reserve(model_->CurrentRows().size() + 64);
  for (int id = 0; id <= kMaxTaskId; ++id) {
    if (table.TaskText[id].empty()) continue;
    const int16_t checked = table.TaskChecked[id];
    if (!((todo && checked == 0) || (done && checked == -1))) continue;
    const Occurrence& occurrence = todo ? table.PreviousOccurrence[id] : table.NextOccurrence[id];
    // A date the oldest file format kept as text is shown, and so sorted,
    // like any other date; only the markers stand as they are.
    const std::optional<DateTime> shown = ShownDate(occurrence);
    QString marker;
    if (!shown)
      if (const std::string* markerText = occurrence.Text()) marker = DisplayText(*markerText);
    rows.Add(id, checked != 0, shown, marker);
  }
  if (todo || done) {
    if (const auto key = SortNumber(todo ? TodoSortColumn : DoneSortColumn))
      model_->SetSortKey(*key);
    if (const auto order = SortNumber(todo ? TodoSortOrder : DoneSortOrder))
      model_->SetSortOrder(*order);
  }
  model_->SetRows(table, std::move(rows));
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
  // Each header straight to its new picture: the clicked one does not pass
  // through the plain picture on its way to its arrow.
  for (int c = 1; c <= 3; ++c) SetHeaderImage(c, c == column ? model_->SortOrder() + 1 : 3);
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
  const auto key = SortNumber(column);
  const auto direction = SortNumber(order);
  // A stored direction that names no picture leaves the column plain.
  const bool arrow = key && direction && *direction + 1 >= 0 && *direction + 1 <= 3;
  for (int c = 1; c <= 3; ++c) SetHeaderImage(c, arrow && c == *key + 1 ? *direction + 1 : 3);
}

std::optional<int> TaskList::SelectedTaskId() const {
  const QModelIndexList rows = view_->selectionModel()->selectedRows();
  if (rows.isEmpty()) return std::nullopt;
  return rows.first().data(TaskListModel::kTaskIdRole).toInt();
}

int TaskList::TaskIdAt(int row) const {
  return row >= 0 && row < model_->rowCount() ? model_->IdAt(row) : -1;
}

int TaskList::RowCount() const {
  return model_->rowCount();
}

QString TaskList::CellText(int row, int column) const {
  if (row < 0 || row >= model_->rowCount()) return {};
  return model_->CellText(row, column);
}

bool TaskList::RowChecked(int row) const {
  return row >= 0 && row < model_->rowCount() && model_->CheckedAt(row);
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
