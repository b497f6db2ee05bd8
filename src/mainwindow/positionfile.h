#pragma once

#include <QLocale>
#include <QString>
#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace zelto {

// Everything position.txt keeps, as the writer takes it.
struct PositionRecord {
  int16_t WindowLeft = 0;
  int16_t WindowTop = 0;
  int16_t WindowWidth = 0;
  int16_t WindowHeight = 0;
  int16_t WindowState = 0;  // 0 normal, 1 minimised, 2 maximised
  std::array<float, 3> ColumnWidths{650.0f, 3100.0f, 2000.0f};
  // The sort values are kept as the text the file gave; a null string is unset.
  QString TodoSortColumn;
  QString TodoSortOrder;
  QString DoneSortColumn;
  QString DoneSortOrder;
};

// The three TAB-separated, CR LF terminated lines of position.txt.
std::string FormatPositionText(const PositionRecord& record, const QLocale& locale = QLocale());

// A column width as the file keeps it: at most 7 significant digits, no
// trailing zeros, the locale's decimal separator, no group separators.
QString FormatColumnWidth(float width, const QLocale& locale = QLocale());

// What the reader found, item by item: an item that could not be read is
// empty and the window keeps what it had.
struct PositionItems {
  struct Rect {
    double Left;
    double Top;
    double Width;
    double Height;
  };
  std::optional<Rect> Move;  // left/top already moved to 0 when off screen
  std::optional<int16_t> WindowState;
  std::array<std::optional<float>, 3> ColumnWidths;
  // TodoSortColumn, TodoSortOrder, DoneSortColumn, DoneSortOrder: the fields'
  // text; a missing or empty field leaves the value unset (null).
  std::array<QString, 4> SortValues;
  std::optional<int16_t> SortKey;    // the list's sort column, from the ToDo pair
  std::optional<int32_t> SortOrder;  // 0 ascending, 1 descending
  // The header that marks the ToDo sort: 0-based column and the 1-based
  // header image ("asc" 1, "desc" 2, "none" 3).
  struct HeaderIcon {
    int Column;
    int Image;
  };
  std::optional<HeaderIcon> SortIcon;
};

// Reads the file's bytes. The screen size is the primary screen's, in twips.
PositionItems ParsePositionText(std::string_view bytes, double screenWidthTwips,
                                double screenHeightTwips, const QLocale& locale = QLocale());

// The bytes of <folder>/position.txt, or nothing when it cannot be opened.
std::optional<std::string> ReadPositionFile(const std::filesystem::path& folder);

}  // namespace zelto
