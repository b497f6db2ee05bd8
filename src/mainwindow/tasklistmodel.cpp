#include "mainwindow/tasklistmodel.h"

#include <algorithm>
#include <numeric>
#include <string>
#include <utility>

#include "mainwindow/tasklist.h"

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

// Appends the text the list shows for `bytes`, without letter case, to
// `out`: short plain ASCII widened and folded by hand, the rest as Qt
// folds it.
void AppendFolded(QString& out, std::string_view bytes) {
  const qsizetype start = out.size();
  if (bytes.size() <= kListTextChars) {
    out.resize(start + static_cast<qsizetype>(bytes.size()));  // the new end uninitialised
    QChar* c = out.data() + start;
    unsigned high = 0;
    for (const char b : bytes) {
      const auto byte = static_cast<unsigned char>(b);
      high |= byte;
      *c++ = QChar(byte >= 'A' && byte <= 'Z' ? byte + ('a' - 'A') : byte);
    }
    if (high < 0x80) return;
    out.resize(start);
  }
  out.append(ListText(bytes).toCaseFolded());
}

// Dense ranks from rows already in order: a row gets the rank of the row
// before it when `same` says they cannot be told apart, else the next one.
template <typename Same>
std::vector<uint32_t> RanksInOrder(const std::vector<uint32_t>& sorted, Same&& same) {
  std::vector<uint32_t> ranks(sorted.size());
  uint32_t rank = 0;
  for (size_t i = 0; i < sorted.size(); ++i) {
    if (i > 0 && !same(sorted[i - 1], sorted[i])) ++rank;
    ranks[sorted[i]] = rank;
  }
  return ranks;
}

// The rows 0..keys.size()-1 in ascending order of their keys, rows with
// equal keys in their own order: a radix sort, eleven bits a pass, over
// the bits in which the keys differ from the smallest.
std::vector<uint32_t> SortedByKey(const std::vector<uint64_t>& keys) {
  const size_t count = keys.size();
  std::vector<uint32_t> order(count), spare(count);
  std::iota(order.begin(), order.end(), 0u);
  if (count < 2) return order;
  const auto [low, high] = std::minmax_element(keys.begin(), keys.end());
  const uint64_t base = *low, span = *high - *low;
  constexpr int kBits = 11;
  constexpr size_t kBuckets = size_t{1} << kBits;
  for (int shift = 0; shift < 64 && (span >> shift) != 0; shift += kBits) {
    std::array<uint32_t, kBuckets> start{};
    for (const uint64_t key : keys) ++start[((key - base) >> shift) & (kBuckets - 1)];
    uint32_t sum = 0;
    for (uint32_t& s : start) sum += std::exchange(s, sum);
    for (const uint32_t row : order)
      spare[start[((keys[row] - base) >> shift) & (kBuckets - 1)]++] = row;
    order.swap(spare);
  }
  return order;
}

// The place of each number 0..highest in the order of their texts, found by
// walking them in that order: "0", "1", "10", "100", ..., "101", ..., "2", ...
std::vector<uint32_t> TextPlaces(uint32_t highest) {
  std::vector<uint32_t> place(size_t{highest} + 1, 0);
  uint32_t number = 1;
  for (uint32_t i = 1; i <= highest; ++i) {
    place[number] = i;
    if (uint64_t{number} * 10 <= highest) {
      number *= 10;
    } else {
      while (number % 10 == 9 || number + 1 > highest) number /= 10;
      ++number;
    }
  }
  return place;
}

// Three UTF-16 units of a text from `at` as one number in the text's order:
// each unit counts one more than its value and a place past the end
// nothing, so a text comes before the longer texts it begins.
uint64_t ChunkKey(QStringView text, qsizetype at) {
  uint64_t key = 0;
  for (qsizetype i = at; i < at + 3; ++i)
    key = key << 17 | (i < text.size() ? text[i].unicode() + 1u : 0u);
  return key;
}

// Texts that share a long start cost a full comparison each time two of
// them meet: they are sorted three units at a time instead, each run of
// texts still equal by the next three, until they part or end.
struct Keyed {
  uint64_t key;
  uint32_t row;
};

// Below this many, a comparison sort is the quicker.
constexpr size_t kRadixFrom = 256;

// [first, last) in ascending order of their keys: a radix sort like
// SortedByKey's, for the many texts of a list that start alike.
void SortByKey(std::vector<Keyed>::iterator first, std::vector<Keyed>::iterator last,
               std::vector<Keyed>& spare) {
  const auto [low, high] = std::minmax_element(
      first, last, [](const Keyed& a, const Keyed& b) { return a.key < b.key; });
  const uint64_t base = low->key, span = high->key - low->key;
  spare.resize(static_cast<size_t>(last - first));
  auto from = first, to = spare.begin();
  bool inSpare = false;
  constexpr int kBits = 11;
  constexpr size_t kBuckets = size_t{1} << kBits;
  for (int shift = 0; shift < 64 && (span >> shift) != 0; shift += kBits) {
    std::array<uint32_t, kBuckets> start{};
    const auto fromEnd = from + (last - first);
    for (auto it = from; it != fromEnd; ++it) ++start[((it->key - base) >> shift) & (kBuckets - 1)];
    uint32_t sum = 0;
    for (uint32_t& s : start) sum += std::exchange(s, sum);
    for (auto it = from; it != fromEnd; ++it)
      to[start[((it->key - base) >> shift) & (kBuckets - 1)]++] = *it;
    std::swap(from, to);
    inSpare = !inSpare;
  }
  if (inSpare) std::copy(spare.begin(), spare.begin() + (last - first), first);
}

template <typename Text>
std::vector<uint32_t> SortedTexts(size_t count, Text&& text) {
  struct Run {
    size_t begin, end;
    qsizetype at;
  };
  std::vector<Keyed> keyed(count), spare;
  for (uint32_t i = 0; i < count; ++i) keyed[i] = {ChunkKey(text(i), 0), i};
  std::vector<Run> runs{{0, count, 0}};
  while (!runs.empty()) {
    const Run run = runs.back();
    runs.pop_back();
    if (run.end - run.begin < 2) continue;
    const auto first = keyed.begin() + static_cast<std::ptrdiff_t>(run.begin);
    const auto last = keyed.begin() + static_cast<std::ptrdiff_t>(run.end);
    if (run.at > 0)
      for (auto it = first; it != last; ++it) it->key = ChunkKey(text(it->row), run.at);
    if (run.end - run.begin < kRadixFrom)
      std::sort(first, last, [](const Keyed& a, const Keyed& b) { return a.key < b.key; });
    else
      SortByKey(first, last, spare);
    if (first->key == (last - 1)->key) {
      // None parted: go on from the first place where any of them differ
      // (or stop where they all end, equal).
      const QStringView head = text(first->row);
      qsizetype shared = head.size();
      bool sameLength = true;
      for (auto it = first + 1; it != last; ++it) {
        const QStringView other = text(it->row);
        const qsizetype limit = std::min(shared, other.size());
        qsizetype i = run.at;
        while (i < limit && head[i] == other[i]) ++i;
        shared = i;
        sameLength = sameLength && other.size() == head.size();
      }
      if (!(sameLength && shared == head.size())) runs.push_back({run.begin, run.end, shared});
      continue;
    }
    for (size_t i = run.begin; i < run.end;) {
      size_t j = i + 1;
      while (j < run.end && keyed[j].key == keyed[i].key) ++j;
      // The last of the three units is past the end: these texts are equal.
      if (j - i > 1 && (keyed[i].key & 0x1FFFF) != 0) runs.push_back({i, j, run.at + 3});
      i = j;
    }
  }
  std::vector<uint32_t> sorted(count);
  for (size_t i = 0; i < count; ++i) sorted[i] = keyed[i].row;
  return sorted;
}

}  // namespace

// Rows ---------------------------------------------------------------------

void TaskListModel::Rows::Add(int id, bool checked, std::optional<DateTime> date,
                              const QString& text) {
  if (id < 0 || id > kMaxTaskId) return;
  Row row;
  row.seconds = date ? date->Seconds() : 0;
  row.occurrence = kDate;
  row.id = static_cast<int16_t>(id);
  row.checked = checked;
  if (!date) {
    const auto found = textIndex_.constFind(text);
    if (found != textIndex_.constEnd()) {
      row.occurrence = *found;
    } else {
      row.occurrence = static_cast<uint32_t>(texts_.size());
      textIndex_.insert(text, row.occurrence);
      texts_.push_back(text);
    }
  }
  rows_.push_back(row);
}

// The model ----------------------------------------------------------------

TaskListModel::TaskListModel(QObject* parent)
    : QAbstractTableModel(parent), weekdayNames_(LocaleWeekdayNames()) {}

// The view asks for an index of every row at each layout; the base class
// would ask for the row and column counts each time.
QModelIndex TaskListModel::index(int row, int column, const QModelIndex& parent) const {
  if (parent.isValid() || row < 0 || column < 0 || column >= kColumnCount ||
      static_cast<size_t>(row) >= order_.size())
    return {};
  return createIndex(row, column);
}

int TaskListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(order_.size());
}

int TaskListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QString TaskListModel::Task(const Row& row) const {
  return table_ ? ListText(table_->TaskText[row.id]) : QString();
}

QString TaskListModel::Cell(const Row& row, int column) const {
  switch (column) {
    case 0:
      return QString::number(row.id);
    case 1:
      return Task(row);
    default:
      if (row.occurrence != Rows::kDate) return rows_.texts_[row.occurrence];
      return FormatListDate(DateTime::FromSeconds(row.seconds), weekdayNames_);
  }
}

QVariant TaskListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const Row& row = RowAt(index.row());
  if (role == Qt::DisplayRole) return Cell(row, index.column());
  // A tooltip is shown as rich text whenever it looks like markup, and task
  // text may hold anything: it goes out escaped, as a paragraph.
  if (role == Qt::ToolTipRole && index.column() == 1)
    return QStringLiteral("<p style=\"white-space:pre-wrap\">") + Task(row).toHtmlEscaped() +
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
  rows_.rows_[order_[static_cast<size_t>(index.row())]].checked = checked;
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

void TaskListModel::SetRows(const TaskTable& table, Rows rows) {
  beginResetModel();
  table_ = &table;
  rows_ = std::move(rows);
  rows_.textIndex_.clear();
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
  if (ranks.empty() && rows_.size() > 0)
    ranks = column == 0 ? IdRanks() : column == 1 ? TaskRanks() : OccurrenceRanks();
  return ranks;
}

// Ids as the table has them: every number up to the highest, walked in the
// order of their texts, gives each its place.
std::vector<uint32_t> TaskListModel::IdRanks() const {
  const auto& rows = rows_.rows_;
  uint32_t highest = 0;
  for (const Row& row : rows) highest = std::max(highest, static_cast<uint32_t>(row.id));
  const std::vector<uint32_t> place = TextPlaces(highest);
  std::vector<uint32_t> ranks(rows.size());
  for (size_t i = 0; i < rows.size(); ++i) ranks[i] = place[static_cast<uint32_t>(rows[i].id)];
  return ranks;
}

std::vector<uint32_t> TaskListModel::TaskRanks() const {
  const auto& rows = rows_.rows_;
  const size_t count = rows.size();
  size_t chars = 0;
  for (const Row& row : rows)
    chars += std::min(table_->TaskText[row.id].size(), kListTextChars + 1);
  QString folded;
  folded.reserve(static_cast<qsizetype>(chars));
  std::vector<qsizetype> start(count + 1);
  for (size_t i = 0; i < count; ++i) {
    start[i] = folded.size();
    AppendFolded(folded, table_->TaskText[rows[i].id]);
  }
  start[count] = folded.size();
  const auto key = [&](uint32_t row) {
    return QStringView(folded).mid(start[row], start[row + 1] - start[row]);
  };
  return RanksInOrder(SortedTexts(count, key),
                      [&](uint32_t a, uint32_t b) { return key(a) == key(b); });
}

// A date against a date by its minute, which orders such cells exactly as
// their texts do (the texts start with the date and end with the time, at
// fixed widths); only the few other texts are compared with date texts,
// each by a binary search among the dates.
std::vector<uint32_t> TaskListModel::OccurrenceRanks() const {
  const auto& rows = rows_.rows_;
  const size_t count = rows.size();
  std::vector<uint32_t> dateRows;
  std::vector<uint64_t> minutes;
  dateRows.reserve(count);
  minutes.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    if (rows[i].occurrence != Rows::kDate) continue;
    dateRows.push_back(i);
    // Offset so that the smallest date-time the table can hold counts from 0.
    minutes.push_back(static_cast<uint64_t>(DateTime::FloorDiv(rows[i].seconds, 60)) ^
                      (uint64_t{1} << 63));
  }
  // The distinct minutes in order, each with the first row that shows it.
  std::vector<uint32_t> byMinute = SortedByKey(minutes);
  std::vector<uint32_t> dateGroup(dateRows.size());  // date row -> its minute's place
  std::vector<uint32_t> groupRow;
  for (size_t i = 0; i < byMinute.size(); ++i) {
    if (i == 0 || minutes[byMinute[i]] != minutes[byMinute[i - 1]])
      groupRow.push_back(dateRows[byMinute[i]]);
    dateGroup[byMinute[i]] = static_cast<uint32_t>(groupRow.size() - 1);
  }
  const auto dateKey = [&](size_t group) {
    return SortKeyOf(
        FormatListDate(DateTime::FromSeconds(rows[groupRow[group]].seconds), weekdayNames_));
  };

  // The other texts in order, each placed before the first date whose text
  // is not less than it.
  const auto& texts = rows_.texts_;
  std::vector<QString> textKeys(texts.size());
  for (size_t t = 0; t < texts.size(); ++t) textKeys[t] = SortKeyOf(texts[t]);
  std::vector<uint32_t> byText(texts.size());
  std::iota(byText.begin(), byText.end(), 0u);
  std::sort(byText.begin(), byText.end(),
            [&](uint32_t a, uint32_t b) { return textKeys[a].compare(textKeys[b]) < 0; });
  struct Place {
    size_t group;  // the date group it goes before, or equals
    bool equal;
  };
  std::vector<Place> places(texts.size());
  for (const uint32_t t : byText) {
    size_t low = 0, high = groupRow.size();
    while (low < high) {
      const size_t mid = (low + high) / 2;
      if (dateKey(mid).compare(textKeys[t]) < 0)
        low = mid + 1;
      else
        high = mid;
    }
    places[t] = {low, low < groupRow.size() && dateKey(low) == textKeys[t]};
  }

  // Both kinds in one order: before each date the texts less than it, after
  // it those equal to it; equal texts, of either kind, share a rank.
  struct Entry {
    bool date;
    uint32_t index;  // the date group or the text
  };
  std::vector<Entry> merged;
  merged.reserve(groupRow.size() + texts.size());
  size_t next = 0;  // in byText
  for (uint32_t group = 0; group <= groupRow.size(); ++group) {
    while (next < byText.size() && places[byText[next]].group == group &&
           !places[byText[next]].equal)
      merged.push_back({false, byText[next++]});
    if (group == groupRow.size()) break;
    merged.push_back({true, group});
    while (next < byText.size() && places[byText[next]].group == group)
      merged.push_back({false, byText[next++]});
  }
  const auto same = [&](const Entry& a, const Entry& b) {
    if (!a.date && !b.date) return textKeys[a.index] == textKeys[b.index];
    return a.date && !b.date && places[b.index].equal && places[b.index].group == a.index;
  };
  std::vector<uint32_t> groupRank(groupRow.size()), textRank(texts.size());
  uint32_t rank = 0;
  for (size_t k = 0; k < merged.size(); ++k) {
    if (k > 0 && !same(merged[k - 1], merged[k])) ++rank;
    (merged[k].date ? groupRank : textRank)[merged[k].index] = rank;
  }
  std::vector<uint32_t> ranks(count);
  for (size_t i = 0; i < dateRows.size(); ++i) ranks[dateRows[i]] = groupRank[dateGroup[i]];
  for (uint32_t i = 0; i < count; ++i)
    if (rows[i].occurrence != Rows::kDate) ranks[i] = textRank[rows[i].occurrence];
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
  if (column < 0 || column >= kColumnCount || image < 0 || image > 3 ||
      headerImage_[static_cast<size_t>(column)] == image)
    return;
  headerImage_[static_cast<size_t>(column)] = image;
  emit headerDataChanged(Qt::Horizontal, column, column);
}

int TaskListModel::HeaderImage(int column) const {
  if (column < 0 || column >= kColumnCount) return 0;
  return headerImage_[static_cast<size_t>(column)];
}

}  // namespace zelto
