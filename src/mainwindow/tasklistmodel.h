#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "look/listdate.h"
#include "store/datetime.h"
#include "store/tasktable.h"

namespace zelto {

// The rows of the task list: three cells, a check box and the task's id
// (kTaskIdRole, on every cell) per row, and nothing else. The list sorts
// itself by the text of one column, like a report-style list control.
//
// A row keeps plain values; the id, task and date cells are written out
// only when asked for, which is for the few rows on screen. The task cell
// shows the text the table holds for the row's id at that moment: the list
// keeps no copy of ten thousand texts for the twenty it shows.
class TaskListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  static constexpr int kColumnCount = 3;
  static constexpr int kTaskIdRole = Qt::UserRole;

  // The rows of one fill, in the order they were added.
  class Rows {
   public:
    // The row of task `id`, whose occurrence cell shows `date` as a
    // date-time, or else `text` as it stands. An id the table has no slot
    // for is not added.
    void Add(int id, bool checked, std::optional<DateTime> date, const QString& text = {});

    size_t size() const { return rows_.size(); }
    void reserve(size_t count) { rows_.reserve(count); }

   private:
    friend class TaskListModel;
    static constexpr uint32_t kDate = UINT32_MAX;
    struct Row {
      int64_t seconds;      // the date-time, when the cell shows one
      uint32_t occurrence;  // kDate, or the place of the text in texts_
      int16_t id;
      bool checked;
    };

    std::vector<Row> rows_;
    // The occurrence cells that are not dates, each text once.
    std::vector<QString> texts_;
    QHash<QString, uint32_t> textIndex_;
  };

  explicit TaskListModel(QObject* parent = nullptr);

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // Replaces every row; they come in ascending id order and leave sorted
  // by the current sort key and order. Never reports a tick. The task cells
  // read `table` until the next call, so it must outlive the model.
  void SetRows(const TaskTable& table, Rows rows);
  const Rows& CurrentRows() const { return rows_; }

  // The list's own sort settings (column 0..2, order 0 ascending or
  // 1 descending); other values are refused. Setting them does not
  // reorder; Sort() does.
  int SortKey() const { return sortKey_; }
  int SortOrder() const { return sortOrder_; }
  void SetSortKey(int column);
  void SetSortOrder(int order);
  // Orders the rows by the current settings, keeping the selection.
  void Sort();

  // The shown row `row` (0..rowCount()-1): its task id, its box and the
  // text of a cell.
  int IdAt(int row) const { return RowAt(row).id; }
  bool CheckedAt(int row) const { return RowAt(row).checked; }
  QString CellText(int row, int column) const { return Cell(RowAt(row), column); }

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
  using Row = Rows::Row;
  const Row& RowAt(int row) const { return rows_.rows_[order_[static_cast<size_t>(row)]]; }
  QString Task(const Row& row) const;
  QString Cell(const Row& row, int column) const;
  void SortOrderVector();
  const std::vector<uint32_t>& Ranks(int column);
  std::vector<uint32_t> IdRanks() const;
  std::vector<uint32_t> TaskRanks() const;
  std::vector<uint32_t> OccurrenceRanks() const;

  const TaskTable* table_ = nullptr;
  Rows rows_;                    // in the order they were added
  std::vector<uint32_t> order_;  // display row -> index into rows_.rows_
  // Per column, per row: the place of the row's sort text among the
  // column's distinct sort texts, found on the first sort by the column
  // after the rows were set; empty until then. A task text changed in the
  // table after that is shown, and sorted anew by the next fill.
  std::array<std::vector<uint32_t>, kColumnCount> ranks_;
  int sortKey_ = 0;
  int sortOrder_ = 0;
  WeekdayNames weekdayNames_;  // the locale's, when the list was made
  std::array<QString, kColumnCount> headerText_;
  std::array<int, kColumnCount> headerImage_{};
  std::array<QIcon, 4> images_;
};

}  // namespace zelto
