#include "store/tasktable.h"

#include <sys/mman.h>

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
  void* table = ::mmap(nullptr, size, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
  if (table == MAP_FAILED) throw std::bad_alloc();
  return table;
}

void TaskTable::operator delete(void* table, std::size_t size) noexcept {
  ::munmap(table, size);
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
