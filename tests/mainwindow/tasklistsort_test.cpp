// The list orders its rows by the text of one column, ignoring letter case,
// with rows of equal text in the order they were added, in either direction.
// The cells are written out only when shown, so the order is checked against
// a plain sort of the texts the list shows.
#include <gtest/gtest.h>

#include <QLocale>
#include <QString>
#include <algorithm>
#include <map>
#include <numeric>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "mainwindow/tasklist.h"
#include "mainwindow/tasklistmodel.h"

namespace zelto {
namespace {

struct RowSpec {
  int id;
  std::string task;  // bytes, as the table keeps them
  std::optional<DateTime> date;
  QString text;  // the occurrence cell: given when there is no date, else as shown
};

DateTime At(int year, int month, int day, int hour, int minute, int second = 0) {
  return *DateTime::FromParts(year, month, day, hour, minute, second);
}

std::vector<RowSpec> ChosenRows() {
  const QString more = "More than 1 year";
  return {
      {0, "b", At(2024, 3, 10, 14, 30), "2024-03-10 Sun 14:30"},
      {1, "B", At(2024, 3, 10, 14, 30, 59), "2024-03-10 Sun 14:30"},  // the same minute
      {2, "a", std::nullopt, more},
      {3, "\xc3\xa9t\xc3\xa9", std::nullopt, "!!! Error !!!"},
      {4, "\xe9t\xe9", std::nullopt, "ok"},  // Windows-1252: the same text as id 3
      {5, "\xc9T\xc9", std::nullopt, "ok"},
      {6, "\x80 5", std::nullopt, "ok"},  // the euro sign, before "€ 5" of id 7
      {7, "\xe2\x82\xac 5", std::nullopt, "ok"},
      {9, "\xc3\x89T\xc3\x89", std::nullopt, {}},  // never searched: an empty cell
      {10, "b", At(2024, 3, 10, 9, 0), "2024-03-10 Sun 09:00"},
      {11, "", At(999, 12, 31, 23, 59), "0999-12-31 Tue 23:59"},
      {12, "a", At(100, 1, 1, 0, 0), "0100-01-01 Fri 00:00"},
      {13, "a", At(9999, 12, 31, 23, 59), "9999-12-31 Fri 23:59"},
      {14, "a", DateTime(), "1899-12-30 Sat 00:00"},
      {15, "a", At(2024, 2, 29, 9, 5), "2024-02-29 Thu 09:05"},
      {19, "A", At(2024, 3, 9, 23, 0), "2024-03-09 Sat 23:00"},
      // Texts that stand as they are but read like dates, before, between,
      // at and after the date cells.
      {20, "z", std::nullopt, "2024-03-10 Sun 14:30"},
      {21, "Task number 12", std::nullopt, "2024-03-10 SUN 14:30"},
      {99, "task number 3", std::nullopt, "2024-03-10 x"},
      {100, "Task Number 12", std::nullopt, "0999-12-31 Fri 23:59"},
      {101, "Tas", std::nullopt, "10"},
      {999, "Task", std::nullopt, "9999"},
      {1000, "Zebra", std::nullopt, "more than 1 year"},
      {1001, "zebra", std::nullopt, more},
      {9999, "10", At(2024, 3, 10, 14, 30), "2024-03-10 Sun 14:30"},
      {10000, "9", std::nullopt, "2024-03-10 Sun 14:29"},
      // Shown only in part, with a mark that sorts after every letter.
      {102, std::string(4000, 'a'), std::nullopt, "ok"},
      {103, std::string(4001, 'a'), std::nullopt, "ok"},
      {104, std::string(4000, 'A') + "b", std::nullopt, "ok"},
      {105, std::string(4001, 'A'), std::nullopt, "ok"},
      {106, std::string("a\0", 2), std::nullopt, "ok"},  // after "a", before "a0"
      {107, "a0", std::nullopt, "ok"},
  };
}

// Many rows from few values, so that equal texts of every kind meet. Tasks
// that all begin with `start` are sorted in long runs, a few units at a time.
std::vector<RowSpec> RandomRows(unsigned seed, int idStep, int count = 300,
                                const std::string& start = {}) {
  std::mt19937 random(seed);
  const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  // UTF-8 and Windows-1252 letters too, texts that mix them, and a letter
  // 1024 units past "a", which a radix sort that stops a pass short puts
  // first.
  const std::string words[] = {"a", "A",     "ab",    "aB",   "b",    "\xc3\xa9", "\xc3\x89",
                               "",  "abcde", "ABCDf", "\xe9", "\xc9", "\xd1\xa1"};
  const QString texts[] = {"More than 1 year", "!!! Error !!!", "", "2024-01-0",
                           "2024-01-03 WED 05:00"};
  std::vector<RowSpec> rows;
  int id = pick(3);
  for (int i = 0; i < count; ++i) {
    RowSpec row{id, start + words[pick(13)] + words[pick(13)] + words[pick(13)], std::nullopt, {}};
    if (pick(4) == 0)
      row.text = texts[pick(5)];
    else
      row.date = At(2024, 1, 1 + pick(4), pick(24), 0, pick(60)).AddDays(pick(3) * 365 - 365);
    rows.push_back(row);
    id += 1 + pick(idStep);
  }
  return rows;
}

TEST(TaskListSort, EveryColumnInBothDirectionsOrdersAsTheCaseFoldedTexts) {
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  const struct {
    const char* name;
    std::vector<RowSpec> rows;
  } cases[] = {{"chosen", ChosenRows()},
               {"random", RandomRows(1, 30)},
               {"random, other ids", RandomRows(3, 7)},
               {"random, a long shared start", RandomRows(5, 3, 2000, "Task number one, ")}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto table = MakeTaskTable();
    TaskListModel::Rows rows;
    for (const RowSpec& r : c.rows) {
      table->TaskText.Set(r.id, r.task);
      rows.Add(r.id, false, r.date, r.date ? QString() : r.text);
    }
    TaskListModel model;
    model.SetRows(*table, std::move(rows));
    ASSERT_EQ(model.rowCount(), static_cast<int>(c.rows.size()));
    // The cells as shown, by id.
    std::map<int, std::array<QString, 3>> shown;
    for (int row = 0; row < model.rowCount(); ++row)
      for (int column = 0; column < 3; ++column)
        shown[model.IdAt(row)][static_cast<size_t>(column)] =
            model.data(model.index(row, column), Qt::DisplayRole).toString();
    for (const RowSpec& r : c.rows) {
      const auto& cells = shown[r.id];
      EXPECT_EQ(cells[0], QString::number(r.id));
      EXPECT_EQ(cells[1], ListText(r.task));
      if (!r.date || !r.text.isEmpty()) {
        EXPECT_EQ(cells[2], r.text);
      }
    }
    for (int column = 0; column < TaskListModel::kColumnCount; ++column) {
      for (int order = 0; order < 2; ++order) {
        SCOPED_TRACE(testing::Message() << "column " << column << " order " << order);
        auto text = [&](size_t i) {
          return shown[c.rows[i].id][static_cast<size_t>(column)].toCaseFolded();
        };
        std::vector<size_t> expected(c.rows.size());
        std::iota(expected.begin(), expected.end(), 0);
        std::stable_sort(expected.begin(), expected.end(), [&](size_t a, size_t b) {
          return order == 0 ? text(a) < text(b) : text(b) < text(a);
        });
        model.SetSortKey(column);
        model.SetSortOrder(order);
        model.Sort();
        std::vector<int> got, wanted;
        for (size_t k = 0; k < c.rows.size(); ++k) {
          got.push_back(model.IdAt(static_cast<int>(k)));
          wanted.push_back(c.rows[expected[k]].id);
        }
        EXPECT_EQ(got, wanted);
      }
    }
  }
  QLocale::setDefault(QLocale::c());
}

}  // namespace
}  // namespace zelto
