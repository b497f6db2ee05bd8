#include "mainwindow/tasklistmodel.h"

#include <algorithm>
#include <numeric>

namespace zelto {
namespace {

// The comparison ignores letter case, as the list controls of the desktop do.
// Most cells are plain ASCII without capitals (ids, dates), which need no copy.
QString SortKeyOf(const QString& text) {
  for (const QChar c : text) {
    const char16_t u = c.unicode();
    if (u >= 0x80 || (u >= 'A' && u <= 'Z')) return text.toCaseFolded();
  }
  return text;
}

}  // namespace

TaskListModel::TaskListModel(QObject* parent) : QAbstractTableModel(parent) {}

int TaskListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(order_.size());
}

int TaskListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

const QString& TaskListModel::Cell(const Row& row, int column) const {
  switch (column) {
    case 0:
      return row.idText;
    case 1:
      return row.task;
    default:
      return row.occurrence;
  }
}

QVariant TaskListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const Row& row = RowAt(index.row());
  if (role == Qt::DisplayRole) return Cell(row, index.column());
  // A tooltip is shown as rich text whenever it looks like markup, and task
  // text may hold anything: it goes out escaped, as a paragraph.
  if (role == Qt::ToolTipRole && index.column() == 1)
    return QStringLiteral("<p style=\"white-space:pre-wrap\">") + row.task.toHtmlEscaped() +
           QStringLiteral("</p>");
  if (role == kTaskIdRole) return row.id;
  if (role == Qt::CheckStateRole && index.column() == 0)
    return row.checked ? Qt::Checked : Qt::Unchecked;
  return {};
}

bool TaskListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  // Only the view calls this, and only for a click on a check box: that is
  // the user's own tick. Filling the list never comes through here.
  if (role != Qt::CheckStateRole || !index.isValid() || index.column() != 0 ||
      index.row() >= rowCount())
    return false;
  const bool checked = value.toInt() == Qt::Checked;
  rows_[order_[static_cast<size_t>(index.row())]].checked = checked;
  emit dataChanged(index, index, {Qt::CheckStateRole});
  emit ItemCheck(index.row(), checked);
  return true;
}

Qt::ItemFlags TaskListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
  if (index.column() == 0) f |= Qt::ItemIsUserCheckable;
  return f;
}

QVariant TaskListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) return {};
  if (role == Qt::DisplayRole) return headerText_[static_cast<size_t>(section)];
  if (role == Qt::DecorationRole) {
    const int image = headerImage_[static_cast<size_t>(section)];
    if (image >= 1 && image <= 3) return images_[static_cast<size_t>(image)];
  }
  return {};
}

void TaskListModel::SetRows(std::vector<Row> rows) {
  beginResetModel();
  rows_ = std::move(rows);
  for (auto& keys : keys_) keys.clear();
  keysValid_.fill(false);
  order_.resize(rows_.size());
  std::iota(order_.begin(), order_.end(), 0u);
  SortOrderVector();
  endResetModel();
}

// A value the list cannot take (from a damaged position file) is refused
// and the list keeps its setting.
void TaskListModel::SetSortKey(int column) {
  if (column >= 0 && column < kColumnCount) sortKey_ = column;
}

void TaskListModel::SetSortOrder(int order) {
  if (order == 0 || order == 1) sortOrder_ = order;
}

const std::vector<QString>& TaskListModel::Keys(int column) {
  auto& keys = keys_[static_cast<size_t>(column)];
  if (!keysValid_[static_cast<size_t>(column)]) {
    keys.clear();
    keys.reserve(rows_.size());
    for (const Row& row : rows_) keys.push_back(SortKeyOf(Cell(row, column)));
    keysValid_[static_cast<size_t>(column)] = true;
  }
  return keys;
}

void TaskListModel::SortOrderVector() {
  if (order_.size() < 2) return;
  const auto& keys = Keys(sortKey_);
  // Equal texts keep the order in which the rows were added (ascending id).
  std::sort(order_.begin(), order_.end(), [&keys, desc = sortOrder_ == 1](uint32_t a, uint32_t b) {
    const int c = keys[a].compare(keys[b]);
    if (c != 0) return desc ? c > 0 : c < 0;
    return a < b;
  });
}

void TaskListModel::Sort() {
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  const QModelIndexList before = persistentIndexList();
  std::vector<uint32_t> rowsOfPersistent;
  rowsOfPersistent.reserve(static_cast<size_t>(before.size()));
  for (const QModelIndex& index : before)
    rowsOfPersistent.push_back(order_[static_cast<size_t>(index.row())]);

  SortOrderVector();

  std::vector<int> displayRowOf(rows_.size());
  for (size_t i = 0; i < order_.size(); ++i) displayRowOf[order_[i]] = static_cast<int>(i);
  QModelIndexList after;
  after.reserve(before.size());
  for (qsizetype i = 0; i < before.size(); ++i)
    after.push_back(
        index(displayRowOf[rowsOfPersistent[static_cast<size_t>(i)]], before[i].column()));
  changePersistentIndexList(before, after);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void TaskListModel::SetHeaderText(int column, const QString& text) {
  if (column < 0 || column >= kColumnCount) return;
  headerText_[static_cast<size_t>(column)] = text;
  emit headerDataChanged(Qt::Horizontal, column, column);
}

QString TaskListModel::HeaderText(int column) const {
  if (column < 0 || column >= kColumnCount) return {};
  return headerText_[static_cast<size_t>(column)];
}

void TaskListModel::SetHeaderImages(const QIcon& asc, const QIcon& desc, const QIcon& none) {
  images_ = {QIcon(), asc, desc, none};
  emit headerDataChanged(Qt::Horizontal, 0, kColumnCount - 1);
}

void TaskListModel::SetHeaderImage(int column, int image) {
  if (column < 0 || column >= kColumnCount || image < 0 || image > 3) return;
  headerImage_[static_cast<size_t>(column)] = image;
  emit headerDataChanged(Qt::Horizontal, column, column);
}

int TaskListModel::HeaderImage(int column) const {
  if (column < 0 || column >= kColumnCount) return 0;
  return headerImage_[static_cast<size_t>(column)];
}

}  // namespace zelto
