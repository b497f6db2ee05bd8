#pragma once

#include <QStyledItemDelegate>

namespace zelto {

// Paints the task list's cells exactly as the stock delegate does, with the
// text of a cell that fits on one line laid out once instead of once for
// its size, once to elide it and once to draw it: ten thousand rows are
// rebuilt and re-sorted in little more than the time the visible rows take
// to paint. Every other cell, and every style that draws its items its own
// way, goes the stock way.
class TaskListDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
};

}  // namespace zelto
