#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "store/datafile.h"

namespace zelto {

// The bytes of a data file in a buffer that was never cleared, so that a
// save touches its 4 MB once instead of twice.
struct FormattedData {
  std::unique_ptr<char[]> data;
  std::size_t size = 0;
  std::string_view View() const { return {data.get(), size}; }
};

FormattedData FormatDataBytes(const TaskTable& table);

}  // namespace zelto
