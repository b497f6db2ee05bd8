#pragma once

#include "store/datafile.h"

namespace zelto {

// The data file of the table, as a save writes it.
FormattedData FormatDataBytes(const TaskTable& table);

}  // namespace zelto
