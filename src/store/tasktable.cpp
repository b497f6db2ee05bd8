#include "store/tasktable.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <new>
#include <utility>

namespace zelto {

std::optional<DateTime> OccurrenceAsDate(const Occurrence& value) {
  if (std::holds_alternative<std::monostate>(value)) return DateTime();
  if (const auto* date = std::get_if<DateTime>(&value)) return *date;
  const auto& text = std::get<std::string>(value);
  if (auto parsed = ParseGeneralDate(text)) return parsed;
  return ParseFileDate(text);
}

void* TaskTable::operator new(std::size_t size) {
  void* table = ::operator new(size);
  // The whole pages inside it; a kernel without the request just leaves
  // them to fault in one by one.
  const auto pageSize = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto start = (reinterpret_cast<std::uintptr_t>(table) + pageSize - 1) & ~(pageSize - 1);
  const auto end = (reinterpret_cast<std::uintptr_t>(table) + size) & ~(pageSize - 1);
  if (end > start) ::madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE);
  return table;
}

void TaskTable::operator delete(void* table, std::size_t size) noexcept {
  ::operator delete(table, size);
}

std::unique_ptr<TaskTable> MakeTaskTable() {
  return std::make_unique<TaskTable>();
}

void RecountTasks(TaskTable& table) {
  // The target never passes the source, so every slot is read before a
  // task can be moved onto it.
  int n = 0;
  for (int i = 1; i <= kMaxTaskId; ++i) {
    if (table.TaskText[i].empty()) continue;
    ++n;
    if (n == i) continue;
    table.TaskText[n] = std::move(table.TaskText[i]);
    table.TaskText[i].clear();
    table.CheckedDate[n] = table.CheckedDate[i];
    table.PreviousOccurrence[n] = table.PreviousOccurrence[i];
    table.NextOccurrence[n] = table.NextOccurrence[i];
    table.TaskChecked[n] = table.TaskChecked[i];
    table.EveryNDays[n] = table.EveryNDays[i];
    table.StartDay[n] = table.StartDay[i];
    table.StartMonth[n] = table.StartMonth[i];
    table.StartYear[n] = table.StartYear[i];
    table.HourMask[n] = table.HourMask[i];
    table.WeekdayMask[n] = table.WeekdayMask[i];
    table.DayOfMonthMask[n] = table.DayOfMonthMask[i];
    table.MonthMask[n] = table.MonthMask[i];
  }
}

}  // namespace zelto
