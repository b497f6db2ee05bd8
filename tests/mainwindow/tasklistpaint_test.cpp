// The list paints its cells itself where it can; every pixel must be the one
// the stock delegate paints.
#include <QHeaderView>
#include <QImage>
#include <QScreen>
#include <QScrollBar>
#include <QStyledItemDelegate>

#include "form1_fixture.h"
#include "mainwindow/tasklistmodel.h"

namespace zelto::test {
namespace {

QImage Shot(QTreeView* list) {
  QApplication::processEvents();
  return list->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// The list as the window shows it, painted or not.
QImage OnScreen(QTreeView* list) {
  QApplication::processEvents();
  const QPoint at = list->mapTo(list->window(), QPoint(0, 0));
  return list->screen()
      ->grabWindow(list->window()->winId(), at.x(), at.y(), list->width(), list->height())
      .toImage()
      .convertToFormat(QImage::Format_RGB32);
}

TEST_F(Form1Test, CellsPaintAsTheStockDelegatePaintsThem) {
  const std::string texts[] = {
      "open",
      "Caf\xc3\xa9 \xe2\x82\xac 5",              // UTF-8
      "\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d world",  // right to left, then left to right
      "two\nlines",                              // a cell of more than one line
      "tab\there",
      std::string(300, 'w'),  // elided
      "W",
      // Two variants of one text, the second too long for its column.
      "Short\xc2\x9c"
      "A variant of the text that is too long for the task column",
      " ",
  };
  int id = 1;
  for (const std::string& text : texts) {
    AddTask(id, text, id % 3 == 0 ? -1 : 0);
    if (id == 2) table->PreviousOccurrence[id] = std::string(kErrorMarker);
    if (id == 4) table->PreviousOccurrence[id] = std::string(kMoreThanOneYear);
    ++id;
  }
  QTreeView* list = ListView1();
  const auto compare = [&](const char* what) {
    SCOPED_TRACE(what);
    QAbstractItemDelegate* own = list->itemDelegate();
    const QImage painted = Shot(list);
    QStyledItemDelegate stock;
    list->setItemDelegate(&stock);
    const QImage expected = Shot(list);
    list->setItemDelegate(own);
    ASSERT_EQ(painted.size(), expected.size());
    EXPECT_TRUE(painted == expected);
  };
  form->FillTaskList();
  compare("ToDo, first row selected");
  SelectRow(3);
  list->setFocus();
  compare("a row further down current, the list focused");
  Click(Find("Option2"));
  compare("Done, ticked boxes");
  ClickHeader(1);
  compare("sorted by the task");
  // Where a cell's box and text go is kept a column at a time.
  list->header()->resizeSection(0, list->header()->sectionSize(0) + 7);
  list->header()->resizeSection(1, list->header()->sectionSize(1) - 40);
  compare("columns resized");
  // Check boxes once drawn are kept, and must follow every colour they use.
  QPalette colours = list->palette();
  colours.setColor(QPalette::Text, QColor(0x40, 0x20, 0x10));
  colours.setColor(QPalette::Window, QColor(0x90, 0x90, 0xc0));
  list->setPalette(colours);
  compare("other text and frame colours");
  colours.setColor(QPalette::Base, QColor(0xfa, 0xf0, 0xe6));
  colours.setColor(QPalette::Highlight, QColor(0x20, 0x60, 0x20));
  list->setPalette(colours);
  compare("other backgrounds");
  list->setAlternatingRowColors(true);
  compare("alternating rows");
  list->setAlternatingRowColors(false);
  list->setEnabled(false);
  compare("disabled");
}

// A sort, however it was asked for, reorders the rows on screen at once,
// and the selected and current row stay on the task they were on.
TEST_F(Form1Test, ASortRepaintsTheListAndTheSelectionGoesWithItsTask) {
  for (int id = 1; id <= 6; ++id) AddTask(id, std::string(1, static_cast<char>('a' + id * 5 % 6)));
  form->FillTaskList();
  QTreeView* list = ListView1();
  auto* model = static_cast<TaskListModel*>(list->model());
  list->setFocus();
  SelectRow(2);
  const std::optional<int> task = form->List().SelectedTaskId();
  for (const auto& [column, order] : {std::pair{1, 0}, {1, 1}, {0, 1}}) {
    SCOPED_TRACE(testing::Message() << column << " " << order);
    model->SetSortKey(column);
    model->SetSortOrder(order);
    model->Sort();
    const int row = form->List().SelectedRow();
    EXPECT_EQ(form->List().SelectedTaskId(), task);
    EXPECT_EQ(form->List().TaskIdAt(row), task);
    EXPECT_EQ(list->currentIndex().row(), row);
    EXPECT_TRUE(OnScreen(list) == Shot(list));
  }
}

struct PaintCount : QObject {
  int paints = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    paints += event->type() == QEvent::Paint;
    return false;
  }
};

// A header click moves rows and nothing else: the scroll bars stay as they
// are, unpainted, and the list on screen is the sorted one.
TEST_F(Form1Test, AHeaderClickRepaintsNeitherScrollBar) {
  for (int id = 1; id <= 200; ++id) AddTask(id, "task " + std::to_string(id * 7 % 200));
  form->FillTaskList();
  QTreeView* list = ListView1();
  Shot(list);
  // Until the fill's own updates are done with.
  for (int i = 0; i < 3; ++i) QApplication::processEvents();
  QScrollBar* bars[] = {list->verticalScrollBar(), list->horizontalScrollBar()};
  for (QScrollBar* bar : bars) ASSERT_TRUE(bar->isVisible());
  const int maximum = bars[0]->maximum();
  for (int column : {2, 2, 3, 1}) {
    SCOPED_TRACE(column);
    // Counted until the list is painted; taking its picture paints it all.
    PaintCount counts[2];
    for (int i = 0; i < 2; ++i) bars[i]->installEventFilter(&counts[i]);
    ClickHeader(column - 1);
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
    for (int i = 0; i < 2; ++i) bars[i]->removeEventFilter(&counts[i]);
    EXPECT_EQ(counts[0].paints, 0);
    EXPECT_EQ(counts[1].paints, 0);
    EXPECT_TRUE(OnScreen(list) == Shot(list));
  }
  EXPECT_EQ(bars[0]->maximum(), maximum);
}

// Rows as tall as the first one: a re-sort that brings a taller row to the
// top changes how many rows a page holds, and the scroll bar follows.
TEST_F(Form1Test, AResortThatChangesTheRowHeightReachesTheScrollBar) {
  struct TallTasks : QStyledItemDelegate {
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
      QSize size = QStyledItemDelegate::sizeHint(option, index);
      if (index.siblingAtColumn(1).data().toString().startsWith("zzz")) size.rheight() *= 3;
      return size;
    }
  } tall;
  for (int id = 1; id <= 200; ++id)
    AddTask(id, (id == 200 ? "zzz " : "task ") + std::to_string(id));
  form->FillTaskList();
  QTreeView* list = ListView1();
  QAbstractItemDelegate* own = list->itemDelegate();
  list->setItemDelegate(&tall);
  Shot(list);
  QScrollBar* bar = list->verticalScrollBar();
  const int maximum = bar->maximum();
  form->ColumnClick(2);  // descending: the tall task first
  ASSERT_EQ(form->List().CellText(0, 1), "zzz 200");
  Shot(list);
  EXPECT_GT(bar->maximum(), maximum);
  const int afterClick = bar->maximum(), page = bar->pageStep();
  list->doItemsLayout();  // laid out afresh
  EXPECT_EQ(bar->maximum(), afterClick);
  EXPECT_EQ(bar->pageStep(), page);
  list->setItemDelegate(own);
}

}  // namespace
}  // namespace zelto::test
