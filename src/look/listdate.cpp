#include "look/listdate.h"

#include <QLocale>

namespace zelto {
namespace {

void AppendDigits(QChar*& out, int value, int width) {
  for (int i = width - 1; i >= 0; --i) {
    out[i] = QChar(u'0' + value % 10);
    value /= 10;
  }
  out += width;
}

}  // namespace

WeekdayNames LocaleWeekdayNames() {
  const QLocale locale;
  WeekdayNames names;
  for (int weekday = 1; weekday <= 7; ++weekday) {
    // Qt counts Monday as 1; the table counts Sunday as 1.
    names[static_cast<size_t>(weekday - 1)] =
        locale.dayName(weekday == 1 ? 7 : weekday - 1, QLocale::ShortFormat);
  }
  return names;
}

// Built by hand: the locale's formatter costs more than the rest of a
// rebuild of ten thousand rows.
QString FormatListDate(DateTime value, const WeekdayNames& weekdayNames) {
  int year = 0, month = 0, day = 0;
  value.YearMonthDay(year, month, day);
  const QString& name = weekdayNames[static_cast<size_t>(value.Weekday() - 1)];
  QString text(17 + name.size(), Qt::Uninitialized);
  QChar* out = text.data();
  AppendDigits(out, year, 4);
  *out++ = u'-';
  AppendDigits(out, month, 2);
  *out++ = u'-';
  AppendDigits(out, day, 2);
  *out++ = u' ';
  for (const QChar c : name) *out++ = c;
  *out++ = u' ';
  AppendDigits(out, value.Hour(), 2);
  *out++ = u':';
  AppendDigits(out, value.Minute(), 2);
  return text;
}

}  // namespace zelto
