#include <gtest/gtest.h>
#include <sys/stat.h>

#include "mainwindow/placement.h"
#include "mainwindow/positionfile.h"
#include "support/core/fakes.h"

namespace zelto {
namespace {

// A 1920 x 1080 primary screen at 15 twips per pixel.
constexpr double kScreenW = 28800;
constexpr double kScreenH = 16200;

PositionItems Parse(std::string_view text, const QLocale& locale = QLocale::c()) {
  return ParsePositionText(text, kScreenW, kScreenH, locale);
}

TEST(PositionReader, FirstLineItemByItem) {
  using Move = std::array<double, 4>;  // left, top, width, height; all 0: no move
  const struct {
    const char* line;
    Move move;
    int state;  // -1: not set
  } cases[] = {
      {"100\t200\t5895\t7620\t0", {100, 200, 5895, 7620}, 0},
      {"-120\t200\t5895\t7620\t2", {0, 0, 5895, 7620}, 2},             // left of the screen
      {"30000\t200\t5895\t7620\t0", {0, 0, 5895, 7620}, 0},            // right of it
      {"28800\t16200\t5895\t7620\t0", {28800, 16200, 5895, 7620}, 0},  // on the edge
      {" 100 \t200\t5895\t7620\t1", {100, 200, 5895, 7620}, 1},        // blanks allowed
      {"100\t200\t5895\t7620", {100, 200, 5895, 7620}, -1},            // no state
      {"100\t200\tx\t7620\t1", {}, 1},                                 // width not a number
      {"100\t200\t0\t7620\t1", {}, 1},                                 // refused rectangle
      {"100\t200\t5895\t7620\t3", {100, 200, 5895, 7620}, -1},         // no such state
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const auto items = Parse(std::string(c.line) + "\r\n650\t3100\t2000\r\n\t\t\t\r\n");
    const auto& m = items.Move;
    EXPECT_EQ((m ? Move{m->Left, m->Top, m->Width, m->Height} : Move{}), c.move);
    EXPECT_EQ(items.WindowState.value_or(-1), c.state);
    EXPECT_EQ(items.ColumnWidths[1], 3100.0f) << "the other lines are read all the same";
  }
}

TEST(PositionReader, EmptyOrMissingFileAndDamagedWidths) {
  EXPECT_FALSE(Parse("").ColumnWidths[0] || Parse("").SortKey || Parse("").SortValues[0].size());
  test::TempFolder folder;
  EXPECT_FALSE(ReadPositionFile(folder.path()));
  test::WriteFileBytes(folder / "position.txt", "");
  EXPECT_EQ(ReadPositionFile(folder.path()), std::string());
  std::filesystem::remove(folder / "position.txt");
  ASSERT_EQ(mkfifo((folder / "position.txt").c_str(), 0666), 0);
  EXPECT_FALSE(ReadPositionFile(folder.path()));  // a pipe is refused, not waited on

  const auto widths = Parse("\r\n1234,5\tx\t-5\r\n", QLocale(QLocale::German));
  EXPECT_EQ(widths.ColumnWidths[0], 1234.5f);
  EXPECT_FALSE(widths.ColumnWidths[1]);
  EXPECT_FALSE(widths.ColumnWidths[2]);
}

TEST(PositionReader, SortLine) {
  const struct {
    const char* line;
    const char* values;         // the four, "~" for unset
    int key, order;             // -1: not set
    int iconColumn, iconImage;  // -1: not set
  } cases[] = {
      {"1\t0\t2\t1", "1,0,2,1", 1, 0, 1, 1},    {"2\t1\t\t", "2,1,~,~", 2, 1, 2, 2},
      {"\t\t\t", "~,~,~,~", -1, -1, -1, -1},    {"0\t1", "0,1,~,~", 0, 1, 0, 2},
      {"5\t0\t0\t0", "5,0,0,0", -1, 0, -1, -1},  // no such column
      {"1\t2\t0\t0", "1,2,0,0", 1, -1, 1, 3},    // no such order: "none"
      {"x\t1\t0\t0", "x,1,0,0", -1, 1, -1, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const auto items = Parse(std::string("\r\n\r\n") + c.line + "\r\n");
    QStringList values;
    for (const QString& value : items.SortValues) values << (value.isNull() ? "~" : value);
    EXPECT_EQ(values.join(',').toStdString(), c.values);
    EXPECT_EQ(items.SortKey.value_or(-1), c.key);
    EXPECT_EQ(items.SortOrder.value_or(-1), c.order);
    EXPECT_EQ(items.SortIcon ? items.SortIcon->Column : -1, c.iconColumn);
    EXPECT_EQ(items.SortIcon ? items.SortIcon->Image : -1, c.iconImage);
  }
}

// Widths with up to seven significant digits, the locale's decimal point
// and no group separator; read back as written.
TEST(PositionWriter, ThreeCrLfLinesAndRoundTrip) {
  const PositionRecord record{1200, -45, 12345, 9000, 2, {3100.0f, 33333.333f, 0.25f},
                              "1",  "0", {},    {}};
  const struct {
    QLocale locale;
    const char* widths;
  } cases[] = {{QLocale::c(), "3100\t33333.33\t0.25"},
               {QLocale(QLocale::German), "3100\t33333,33\t0,25"}};
  for (const auto& c : cases) {
    const std::string text = FormatPositionText(record, c.locale);
    EXPECT_EQ(text, "1200\t-45\t12345\t9000\t2\r\n" + std::string(c.widths) + "\r\n1\t0\t\t\r\n");
    const auto items = ParsePositionText(text, kScreenW, kScreenH, c.locale);
    ASSERT_TRUE(items.Move);
    // A maximised window's negative top: to the top left corner, at its size.
    EXPECT_EQ(items.Move->Left, 0);
    EXPECT_EQ(items.Move->Top, 0);
    EXPECT_EQ(items.Move->Width, 12345);
    EXPECT_EQ(items.WindowState, 2);
    EXPECT_EQ(items.ColumnWidths, (std::array<std::optional<float>, 3>{3100.0f, 33333.33f, 0.25f}));
    EXPECT_EQ(items.SortValues[1], "0");
    EXPECT_TRUE(items.SortValues[2].isNull());
  }
  const std::string unset = FormatPositionText(PositionRecord(), QLocale::c());
  EXPECT_EQ(unset, "0\t0\t0\t0\t0\r\n650\t3100\t2000\r\n\t\t\t\r\n");
  for (const auto& value : Parse(unset).SortValues) EXPECT_TRUE(value.isNull());
}

// Each value on its own: one outside the 16-bit range keeps its old one.
TEST(Placement, RecordsTwipsEachValueOnItsOwn) {
  const struct {
    QRect frame;
    double twipsPerPixel;
    int left, top, width, height;
  } steps[] = {
      {{10, 20, 400, 533}, 15, 150, 300, 6000, 7995},
      {{-4, -4, 1928, 1048}, 15, -60, -60, 28920, 15720},  // maximised: slightly off the screen
      {{2200, 30, 500, 600}, 15, -60, 450, 7500, 9000},    // the left no longer fits
      {{-2185, 0, 100, 100}, 15, -60, 0, 1500, 1500},      // -32775 twips
      {{1, 3, 5, 7}, 12.5, 12, 38, 62, 88},                // halves to even
  };
  Placement placement;
  for (const auto& s : steps) {
    placement.Record(s.frame, s.twipsPerPixel);
    EXPECT_EQ(placement.WindowLeft, s.left);
    EXPECT_EQ(placement.WindowTop, s.top);
    EXPECT_EQ(placement.WindowWidth, s.width);
    EXPECT_EQ(placement.WindowHeight, s.height);
  }
}

}  // namespace
}  // namespace zelto
