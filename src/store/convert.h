#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace zelto {

// Text to a 16-bit signed integer: surrounding blanks are ignored, a value
// with a fraction is rounded with halves to even (2.5 gives 2, 3.5 gives 4),
// and text that is not a number or lies outside -32768..32767 fails.
std::optional<int16_t> ParseInt16(std::string_view text);

// The same rounding for a value already read as a number.
std::optional<int16_t> RoundToInt16(double value);

}  // namespace zelto
