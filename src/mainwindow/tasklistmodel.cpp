#include "mainwindow/tasklistmodel.h"

#include <algorithm>
#include <numeric>
#include <optional>

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

// A cell of one to five ASCII digits as a number whose order is the text's:
// each digit counts one more than its value, and a missing one nothing, so
// "10" < "2" < "9" and "1" < "10". Nothing for any other text.
std::optional<uint32_t> DigitTextKey(const QString& text) {
  if (text.isEmpty() || text.size() > 5) return std::nullopt;
  uint32_t key = 0;
  for (qsizetype i = 0; i < 5; ++i) {
    uint32_t place = 0;
    if (i < text.size()) {
      const char16_t c = text[i].unicode();
      if (c < u'0' || c > u'9') return std::nullopt;
      place = static_cast<uint32_t>(c - u'0') + 1;
    }
    key = key * 11 + place;
  }
  return key;
}

// Dense ranks from an order of the rows: rows that `less` cannot tell
// apart share one.
template <typename Less>
std::vector<uint32_t> RanksOf(size_t count, Less&& less) {
  std::vector<uint32_t> byKey(count);
  std::iota(byKey.begin(), byKey.end(), 0u);
  std::sort(byKey.begin(), byKey.end(), less);
  std::vector<uint32_t> ranks(count);
  uint32_t rank = 0;
  for (size_t i = 0; i < count; ++i) {
    if (i > 0 && less(byKey[i - 1], byKey[i])) ++rank;
    ranks[byKey[i]] = rank;
  }
  return ranks;
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
  for (auto& ranks : ranks_) ranks.clear();
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

const std::vector<uint32_t>& TaskListModel::Ranks(int column) {
  auto& ranks = ranks_[static_cast<size_t>(column)];
  if (!ranks.empty() || rows_.empty()) return ranks;
  const size_t count = rows_.size();

  // Ids: numbers in the text's order, when every cell is plain digits.
  std::vector<uint32_t> numbers;
  numbers.reserve(count);
  for (const Row& row : rows_) {
    const auto key = column == 0 ? DigitTextKey(row.idText) : std::nullopt;
    if (!key) break;
    numbers.push_back(*key);
  }
  if (numbers.size() == count) {
    // Sorted as plain numbers with the row beside each, which is quicker
    // than sorting rows by a looked-up key.
    std::vector<uint64_t> keyed(count);
    for (uint32_t i = 0; i < count; ++i) keyed[i] = uint64_t{numbers[i]} << 32 | i;
    std::sort(keyed.begin(), keyed.end());
    ranks.resize(count);
    uint32_t rank = 0;
    for (size_t i = 0; i < count; ++i) {
      if (i > 0 && keyed[i] >> 32 != keyed[i - 1] >> 32) ++rank;
      ranks[static_cast<uint32_t>(keyed[i])] = rank;
    }
    return ranks;
  }

  // Texts, compared without letter case; a date against a date by its
  // minute, which is the same order.
  const bool dates = column == 2;
  bool textsToo = false;
  for (const Row& row : rows_) textsToo = textsToo || !dates || row.occurrenceMinute == kNoMinute;
  std::vector<QString> keys(count);
  for (size_t i = 0; i < count; ++i) {
    const Row& row = rows_[i];
    if (textsToo || row.occurrenceMinute == kNoMinute) keys[i] = SortKeyOf(Cell(row, column));
  }
  ranks = RanksOf(count, [&](uint32_t a, uint32_t b) {
    if (dates) {
      const int64_t ma = rows_[a].occurrenceMinute, mb = rows_[b].occurrenceMinute;
      if (ma != kNoMinute && mb != kNoMinute) return ma < mb;
    }
    return keys[a].compare(keys[b]) < 0;
  });
  return ranks;
}

void TaskListModel::SortOrderVector() {
  if (order_.size() < 2) return;
  const auto& ranks = Ranks(sortKey_);
  // Equal texts keep the order in which the rows were added (ascending id)
  // in either direction.
  // A counting sort: the rows go to their rank's place in ascending order.
  const bool desc = sortOrder_ == 1;
  const uint32_t last = *std::max_element(ranks.begin(), ranks.end());
  std::vector<uint32_t> start(size_t{last} + 2, 0);
  for (const uint32_t rank : ranks) ++start[(desc ? last - rank : rank) + 1];
  std::partial_sum(start.begin(), start.end(), start.begin());
  for (uint32_t i = 0; i < ranks.size(); ++i)
    order_[start[desc ? last - ranks[i] : ranks[i]]++] = i;
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
