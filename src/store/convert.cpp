#include "store/convert.h"

#include <charconv>
#include <cmath>

namespace zelto {

std::optional<int16_t> RoundToInt16(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  // The default floating-point environment rounds halves to even.
  const double rounded = std::nearbyint(value);
  if (rounded < -32768.0 || rounded > 32767.0) return std::nullopt;
  return static_cast<int16_t>(rounded);
}

std::optional<int16_t> ParseInt16(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (text.empty()) return std::nullopt;

  // Plain integers are by far the most common field: read them directly.
  int value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error == std::errc() && end == text.data() + text.size()) {
    if (value < -32768 || value > 32767) return std::nullopt;
    return static_cast<int16_t>(value);
  }

  bool negative = false;
  std::string_view digits = text;
  if (digits.front() == '+' || digits.front() == '-') {
    negative = digits.front() == '-';
    digits.remove_prefix(1);
  }
  // Only decimal notation: no "inf", "nan", hex floats or a second sign.
  if (digits.empty() || digits.front() == '+' || digits.front() == '-') return std::nullopt;
  for (char c : digits) {
    if (!((c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-'))
      return std::nullopt;
  }
  double number = 0;
  auto [dend, derror] = std::from_chars(digits.data(), digits.data() + digits.size(), number,
                                        std::chars_format::general);
  if (derror != std::errc() || dend != digits.data() + digits.size()) return std::nullopt;
  return RoundToInt16(negative ? -number : number);
}

}  // namespace zelto
