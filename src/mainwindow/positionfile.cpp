#include "mainwindow/positionfile.h"

#include <QStringList>
#include <cmath>
#include <vector>

#include "platform/textcodec.h"
#include "store/convert.h"
#include "store/datafile.h"
#include "store/filebytes.h"

namespace zelto {
namespace {

QLocale Plain(QLocale locale) {
  locale.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
  return locale;
}

// A field read as a number: the locale's notation first, then the plain one,
// so a file written under another locale still reads. Blanks around it are
// allowed; anything else that is not a finite number fails.
std::optional<double> ParseNumber(const QString& field, const QLocale& locale) {
  const QString text = field.trimmed();
  if (text.isEmpty()) return std::nullopt;
  bool ok = false;
  double value = Plain(locale).toDouble(text, &ok);
  if (!ok) value = QLocale::c().toDouble(text, &ok);
  if (!ok || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::optional<int32_t> RoundToInt32(double value) {
  const double rounded = std::nearbyint(value);  // halves to even
  if (!std::isfinite(rounded) || rounded < -2147483648.0 || rounded > 2147483647.0)
    return std::nullopt;
  return static_cast<int32_t>(rounded);
}

// Splits the text into lines at CR LF (a lone CR or LF also ends a line).
std::vector<QString> SplitLines(std::string_view bytes) {
  std::vector<QString> lines;
  size_t start = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != '\r' && bytes[i] != '\n') continue;
    lines.push_back(DecodeText(bytes.substr(start, i - start)));
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < bytes.size()) lines.push_back(DecodeText(bytes.substr(start)));
  return lines;
}

// Fields of line `index`; a line that is not there has no fields at all.
QStringList FieldsOf(const std::vector<QString>& lines, size_t index) {
  if (index >= lines.size()) return {};
  return lines[index].split(QLatin1Char('\t'));
}

std::optional<QString> Field(const QStringList& fields, int index) {
  if (index >= fields.size()) return std::nullopt;
  return fields[index];
}

std::optional<double> NumberField(const QStringList& fields, int index, const QLocale& locale) {
  const auto field = Field(fields, index);
  if (!field) return std::nullopt;
  return ParseNumber(*field, locale);
}

}  // namespace

QString FormatColumnWidth(float width, const QLocale& locale) {
  // Seven significant digits is all a single-precision value holds; the
  // 'g' form drops trailing zeros and the separator of a whole number.
  return Plain(locale).toString(static_cast<double>(width), 'g', 7);
}

std::string FormatPositionText(const PositionRecord& record, const QLocale& locale) {
  const QString tab = QStringLiteral("\t");
  const QString crlf = QStringLiteral("\r\n");
  QString text;
  text += QString::number(record.WindowLeft) + tab + QString::number(record.WindowTop) + tab +
          QString::number(record.WindowWidth) + tab + QString::number(record.WindowHeight) + tab +
          QString::number(record.WindowState) + crlf;
  text += FormatColumnWidth(record.ColumnWidths[0], locale) + tab +
          FormatColumnWidth(record.ColumnWidths[1], locale) + tab +
          FormatColumnWidth(record.ColumnWidths[2], locale) + crlf;
  text += record.TodoSortColumn + tab + record.TodoSortOrder + tab + record.DoneSortColumn + tab +
          record.DoneSortOrder + crlf;
  return EncodeText(text);
}

namespace {

// Line 1: placement and state.
void ReadPlacementLine(const QStringList& f, double screenWidthTwips, double screenHeightTwips,
                       const QLocale& locale, PositionItems& items) {
  std::optional<double> left = NumberField(f, 0, locale);
  std::optional<double> top = NumberField(f, 1, locale);
  if (Field(f, 0) && Field(f, 1)) {
    // A window last seen off the primary screen, or a left/top that is not a
    // number, comes back at the screen's top left corner.
    if (!left || !top || *left < 0 || *top < 0 || *left > screenWidthTwips ||
        *top > screenHeightTwips) {
      left = 0.0;
      top = 0.0;
    }
  }
  const auto width = NumberField(f, 2, locale);
  const auto height = NumberField(f, 3, locale);
  if (left && top && width && height && *width > 0 && *height > 0)
    items.Move = PositionItems::Rect{*left, *top, *width, *height};
  if (const auto state = Field(f, 4)) {
    const auto value = ParseInt16(state->toStdString());
    if (value && *value >= 0 && *value <= 2) items.WindowState = value;
  }
}

// Line 2: the column widths, each on its own.
void ReadColumnLine(const QStringList& g, const QLocale& locale, PositionItems& items) {
  for (int i = 0; i < 3; ++i) {
    const auto value = NumberField(g, i, locale);
    if (value && *value >= 0 && *value <= 3.4e38)
      items.ColumnWidths[i] = static_cast<float>(*value);
  }
}

// Line 3: the sort values as text, then the list's own sort from the ToDo pair.
void ReadSortLine(const QStringList& h, const QLocale& locale, PositionItems& items) {
  for (int i = 0; i < 4; ++i) {
    const auto value = Field(h, i);
    if (value && !value->isEmpty()) items.SortValues[i] = *value;
  }
  if (const auto key = Field(h, 0)) {
    const auto value = ParseInt16(key->toStdString());
    if (value && *value >= 0 && *value <= 2) items.SortKey = value;
  }
  if (const auto order = NumberField(h, 1, locale)) {
    const auto value = RoundToInt32(*order);
    if (value && (*value == 0 || *value == 1)) items.SortOrder = value;
  }
  const auto column = NumberField(h, 0, locale);
  const auto order = NumberField(h, 1, locale);
  if (column && order) {
    const auto header = RoundToInt32(*column + 1);
    const auto image = RoundToInt32(*order + 1);
    if (header && image && *header >= 1 && *header <= 3 && *image >= 1 && *image <= 3)
      items.SortIcon = PositionItems::HeaderIcon{*header - 1, *image};
  }
}

}  // namespace

PositionItems ParsePositionText(std::string_view bytes, double screenWidthTwips,
                                double screenHeightTwips, const QLocale& locale) {
  PositionItems items;
  const std::vector<QString> lines = SplitLines(bytes);
  ReadPlacementLine(FieldsOf(lines, 0), screenWidthTwips, screenHeightTwips, locale, items);
  ReadColumnLine(FieldsOf(lines, 1), locale, items);
  ReadSortLine(FieldsOf(lines, 2), locale, items);
  return items;
}

std::optional<std::string> ReadPositionFile(const std::filesystem::path& folder) {
  // Shares the data file's reader, which refuses a pipe instead of hanging.
  const auto bytes = ReadWholeFile(folder / kPositionFile);
  if (!bytes) return std::nullopt;
  return std::string(bytes->View());
}

}  // namespace zelto
