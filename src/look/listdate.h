#pragma once

#include <QString>
#include <array>

#include "store/datetime.h"

namespace zelto {

// Short weekday names in the user's locale, Sunday first.
using WeekdayNames = std::array<QString, 7>;
WeekdayNames LocaleWeekdayNames();

// A date-time as both windows show it: "yyyy-mm-dd ddd hh:nn".
QString FormatListDate(DateTime value, const WeekdayNames& weekdayNames);

}  // namespace zelto
