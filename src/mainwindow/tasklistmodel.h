#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <QString>
#include <array>
#include <cstdint>
#include <vector>

namespace zelto {

// The rows of the task list: three cell texts, a check box and the task's id
// (kTaskIdRole, on every cell) per row, and nothing else. The list sorts itself by the text of one
// column, like a report-style list control.
class TaskListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  static constexpr int kColumnCount = 3;
  static constexpr int kTaskIdRole = Qt::UserRole;

  struct Row {
    int id = -1;
    QString idText;  // the first cell: shown and sorted as text
    QString task;
    QString occurrence;
    // When the occurrence cell shows a date-time: its minute, which orders
    // such cells exactly as their texts do (the texts start with the date
    // and end with the time, at fixed widths).
    int64_t occurrenceMinute = kNoMinute;
    bool checked = false;
  };
  static constexpr int64_t kNoMinute = INT64_MIN;

  explicit TaskListModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // Replaces every row; they come in ascending id order and leave sorted
  // by the current sort key and order. Never reports a tick.
  void SetRows(std::vector<Row> rows);

  // The list's own sort settings (column 0..2, order 0 ascending or
  // 1 descending); other values are refused. Setting them does not
  // reorder; Sort() does.
  int SortKey() const { return sortKey_; }
  int SortOrder() const { return sortOrder_; }
  void SetSortKey(int column);
  void SetSortOrder(int order);
  // Orders the rows by the current settings, keeping the selection.
  void Sort();

  const Row& RowAt(int row) const { return rows_[order_[static_cast<size_t>(row)]]; }

  void SetHeaderText(int column, const QString& text);
  QString HeaderText(int column) const;
  // Header images by number: 1 "asc", 2 "desc", 3 "none"; 0 shows none.
  // Other numbers are refused.
  void SetHeaderImages(const QIcon& asc, const QIcon& desc, const QIcon& none);
  void SetHeaderImage(int column, int image);
  int HeaderImage(int column) const;

 signals:
  // The user ticked or unticked the box of a row.
  void ItemCheck(int row, bool checked);

 private:
  const QString& Cell(const Row& row, int column) const;
  void SortOrderVector();
  const std::vector<uint32_t>& Ranks(int column);

  std::vector<Row> rows_;        // in the order they were added
  std::vector<uint32_t> order_;  // display row -> index into rows_
  // Per column, per row: the place of the row's sort text among the
  // column's distinct sort texts, found on the first sort by the column
  // after the rows were set; empty until then.
  std::array<std::vector<uint32_t>, kColumnCount> ranks_;
  int sortKey_ = 0;
  int sortOrder_ = 0;
  std::array<QString, kColumnCount> headerText_;
  std::array<int, kColumnCount> headerImage_{};
  std::array<QIcon, 4> images_;
};

}  // namespace zelto
