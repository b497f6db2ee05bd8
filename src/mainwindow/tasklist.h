#pragma once

#include <QIcon>
#include <QString>
#include <array>
#include <optional>
#include <string>

#include "look/listdate.h"
#include "store/tasktable.h"

class QTreeView;

namespace zelto {

class TaskListModel;

// The list's three columns as start-up adds them: "ID", "Task", the occurrence.
inline constexpr std::array<int, 3> kColumnTwips{650, 3100, 2000};

// The task list's view and sort state: the rows of the current view, the
// sort pair of each view as position.txt keeps it, the header texts and
// images. It owns no task data: every rebuild reads the table.
class TaskList {
 public:
  enum class View { ToDo, Done, Neither };

  // Sets up `view` (ListView1) with its three columns at their design widths.
  TaskList(QTreeView* view, const QIcon& asc, const QIcon& desc, const QIcon& none);

  TaskListModel* Model() const { return model_; }

  // Rebuilds the rows of `view` from the table in ascending id order, sorts
  // them by that view's pair and selects the first row. The task cells show
  // the table's texts as they stand when painted, so the table must outlive
  // the list.
  void Fill(const TaskTable& table, View view);
  void SelectFirstRow();
  // A header click, column numbered from 1: the order flips on every click
  // and the result is kept for `view`.
  void ColumnClick(int column, View view);
  // Switches to `view`: its header text, its rows, the first row selected,
  // its sort marked in the headers.
  void SwitchTo(View view, const TaskTable& table);

  // The id the selected row carries, if a row is selected.
  std::optional<int> SelectedTaskId() const;
  int TaskIdAt(int row) const;

  int RowCount() const;
  QString CellText(int row, int column) const;  // column 0..2
  bool RowChecked(int row) const;
  int SelectedRow() const;  // -1 when no row is selected
  // Header text and image (1 "asc", 2 "desc", 3 "none"), column numbered from 1.
  QString HeaderText(int column) const;
  int HeaderImage(int column) const;
  void SetHeaderImage(int column, int image);

  // The list's own sort column (0..2) and order (0 ascending, 1 descending).
  int SortKey() const;
  int SortOrder() const;
  void SetSort(int column, int order);  // also re-sorts the rows

  // Sort settings per view, kept as the text the position file holds; an
  // unset (empty) value counts as 0.
  QString TodoSortColumn;
  QString TodoSortOrder;
  QString DoneSortColumn;
  QString DoneSortOrder;

 private:
  void ShowHeaderImages(const QString& column, const QString& order);

  QTreeView* view_;
  TaskListModel* model_;
};

// Task text for display: UTF-8 when it is valid UTF-8, else Windows-1252.
QString DisplayText(std::string_view bytes);

// How much of a task's text the list and its tooltip show. A 10 MB text
// laid out in a cell costs seconds at every fill; the whole text stays in
// the table, the file and the editor.
inline constexpr std::size_t kListTextChars = 4000;
// The start of a task's text as the list shows it: at most kListTextChars
// characters, then "…" when the text goes on.
QString ListText(std::string_view bytes);

}  // namespace zelto
