#include "store/tasktable.h"

namespace zelto {

std::optional<DateTime> OccurrenceAsDate(const Occurrence& value) {
  if (std::holds_alternative<std::monostate>(value)) return DateTime();
  if (const auto* date = std::get_if<DateTime>(&value)) return *date;
  const auto& text = std::get<std::string>(value);
  if (auto parsed = ParseGeneralDate(text)) return parsed;
  return ParseFileDate(text);
}

std::unique_ptr<TaskTable> MakeTaskTable() {
  return std::make_unique<TaskTable>();
}

}  // namespace zelto
