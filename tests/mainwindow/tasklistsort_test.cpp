// The list orders its rows by the text of one column, ignoring letter case,
// with rows of equal text in the order they were added, in either direction.
#include <gtest/gtest.h>

#include <QString>
#include <algorithm>
#include <numeric>
#include <vector>

#include "mainwindow/tasklistmodel.h"

namespace zelto {
namespace {

// A date cell as the list shows it, with the minute that goes with it.
TaskListModel::Row WithDate(TaskListModel::Row row, int year, int month, int day, int hour,
                            int minute) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue"};
  row.occurrence = QString::asprintf("%04d-%02d-%02d %s %02d:%02d", year, month, day,
                                     kDays[day % 3], hour, minute);
  row.occurrenceMinute = (((int64_t{year} * 12 + month) * 31 + day) * 24 + hour) * 60 + minute;
  return row;
}

TEST(TaskListSort, EveryColumnInBothDirectionsOrdersAsTheCaseFoldedTexts) {
  const int ids[] = {1, 2, 3, 9, 10, 11, 19, 20, 100, 101, 999, 1000, 9999, 10000};
  const char* const tasks[] = {
      "b",  "B", "a", "\xc3\xa9t\xc3\xa9", "\xc3\x89T\xc3\x89", "b", "", "A", "z", "Zebra", "zebra",
      "10", "9", "!"};
  std::vector<TaskListModel::Row> rows;
  for (size_t i = 0; i < std::size(ids); ++i) {
    TaskListModel::Row row;
    row.id = ids[i];
    row.idText = QString::number(ids[i]);
    row.task = QString::fromUtf8(tasks[i]);
    switch (i % 7) {
      case 0:
        row.occurrence = "More than 1 year";
        break;
      case 1:
        row.occurrence = "!!! Error !!!";
        break;
      case 2:
        break;  // never scheduled: an empty cell
      case 3:
        row = WithDate(row, 2024, 3, 10, 14, 30);
        break;
      case 4:
        row = WithDate(row, 2024, 3, 10, 9, 0);
        break;
      case 5:
        row = WithDate(row, 999, 12, 31, 23, 59);
        break;
      default:
        row = WithDate(row, 2024, 3, 10, 14, 30);  // the same cell text as case 3
    }
    rows.push_back(row);
  }
  TaskListModel model;
  model.SetRows(rows);
  for (int column = 0; column < TaskListModel::kColumnCount; ++column) {
    for (int order = 0; order < 2; ++order) {
      SCOPED_TRACE(testing::Message() << "column " << column << " order " << order);
      auto text = [&](size_t i) {
        const auto& r = rows[i];
        return (column == 0 ? r.idText : column == 1 ? r.task : r.occurrence).toCaseFolded();
      };
      std::vector<size_t> expected(rows.size());
      std::iota(expected.begin(), expected.end(), 0);
      std::stable_sort(expected.begin(), expected.end(), [&](size_t a, size_t b) {
        return order == 0 ? text(a) < text(b) : text(b) < text(a);
      });
      model.SetSortKey(column);
      model.SetSortOrder(order);
      model.Sort();
      std::vector<int> shown, wanted;
      for (size_t k = 0; k < rows.size(); ++k) {
        shown.push_back(model.RowAt(static_cast<int>(k)).id);
        wanted.push_back(rows[expected[k]].id);
      }
      EXPECT_EQ(shown, wanted);
    }
  }
}

}  // namespace
}  // namespace zelto
