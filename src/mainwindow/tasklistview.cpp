#include "mainwindow/tasklistview.h"

#include <QHeaderView>
#include <algorithm>
#include <utility>

namespace zelto {

void TaskListView::setModel(QAbstractItemModel* model) {
  disconnect(sorts_);
  QTreeView::setModel(model);
  if (model)
    sorts_ = connect(
        model, &QAbstractItemModel::layoutChanged, this,
        [this](const QList<QPersistentModelIndex>&, QAbstractItemModel::LayoutChangeHint hint) {
          if (hint == QAbstractItemModel::VerticalSortHint) resorted_ = true;
        });
}

void TaskListView::doItemsLayout() {
  resortLayout_ = std::exchange(resorted_, false);
  inLayout_ = true;
  QTreeView::doItemsLayout();
  inLayout_ = resortLayout_ = false;
}

void TaskListView::updateGeometries() {
  // Called by the layout of the rows once they are laid out, so that the
  // row height measured is the new one: the first row sets it for all, and
  // a re-sort may bring a taller one to the top.
  if (resortLayout_ && laidOut_ == Measure()) return;
  QTreeView::updateGeometries();
  laidOut_ = Measure();
}

TaskListView::Geometry TaskListView::Measure() {
  Geometry g;
  g.size = size();
  g.viewport = viewport()->size();
  const QHeaderView* top = header();
  // As the tree view works out the header's height.
  if (!top->isHidden())
    g.headerHeight =
        std::min(std::max(top->minimumHeight(), top->sizeHint().height()), top->maximumHeight());
  g.headerLength = top->length();
  g.sectionCount = top->count();
  for (int i = 0; i < std::min<int>(g.sectionCount, g.sections.size()); ++i)
    g.sections[static_cast<std::size_t>(i)] = top->sectionSize(i);
  if (model()) g.rows = model()->rowCount(rootIndex());
  // The row height changes only in a layout of the rows. Outside one, a
  // layout may be pending, and asking for the height would run it from
  // here: the height is then the one the last layout left.
  if (!inLayout_) {
    g.rowHeight = laidOut_ ? laidOut_->rowHeight : -1;
  } else if (g.rows > 0) {
    g.rowHeight = rowHeight(model()->index(0, 0, rootIndex()));
  }
  g.vertical = verticalScrollBarPolicy();
  g.horizontal = horizontalScrollBarPolicy();
  g.verticalMode = verticalScrollMode();
  g.horizontalMode = horizontalScrollMode();
  g.style = style();
  g.font = font();
  return g;
}

}  // namespace zelto
