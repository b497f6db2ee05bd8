#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>

#include "store/datetime.h"

namespace zelto {

inline constexpr int kMaxTaskId = 10000;
inline constexpr int kSlotCount = kMaxTaskId + 1;
inline constexpr int kMaskSize = 31;

// Marker texts that an occurrence field may hold instead of a date-time.
inline constexpr std::string_view kMoreThanOneYear = "More than 1 year";
inline constexpr std::string_view kErrorMarker = "!!! Error !!!";
inline constexpr std::string_view kOkMarker = "ok";

// A fixed array whose every access is bounds-checked: an id from a damaged
// file or a stale row must raise a detectable error, never touch memory
// outside the table. Negative indices fail too, because they are compared
// as unsigned.
template <typename T, std::size_t N>
class CheckedArray {
 public:
  static constexpr std::size_t kSize = N;

  T& operator[](int index) { return data_[Check(index)]; }
  const T& operator[](int index) const { return data_[Check(index)]; }
  static constexpr bool Valid(int index) { return static_cast<std::size_t>(index) < N; }
  void Fill(const T& value) { data_.fill(value); }
  constexpr std::size_t size() const { return N; }

 private:
  // The check sits on every access of every loop over the table: the throw
  // is kept out of line so that the check itself inlines to a compare.
  static std::size_t Check(int index) {
    if (!Valid(index)) [[unlikely]]
      OutOfRange();
    return static_cast<std::size_t>(index);
  }
  [[noreturn, gnu::cold, gnu::noinline]] static void OutOfRange() {
    throw std::out_of_range("index outside the table");
  }
  std::array<T, N> data_{};
};

using Mask = CheckedArray<int16_t, kMaskSize>;

// An occurrence field: empty (never scheduled), a date-time, or a text
// (a marker, or a date text kept from the oldest file format).
using Occurrence = std::variant<std::monostate, DateTime, std::string>;

inline bool HoldsText(const Occurrence& value, std::string_view text) {
  const auto* s = std::get_if<std::string>(&value);
  return s != nullptr && *s == text;
}

// The field read as a date-time: an empty field is the zero date-time, a
// text is converted when it reads as a date (the oldest format keeps dates
// as text), and a marker text gives nothing.
std::optional<DateTime> OccurrenceAsDate(const Occurrence& value);

// The whole data model: 10,001 slots as parallel arrays, one per field,
// indexed by task id. A slot is in use exactly when its TaskText is not
// empty. About 4 MB, so it lives on the heap (use MakeTaskTable).
struct TaskTable {
  template <typename T>
  using Column = CheckedArray<T, kSlotCount>;

  Column<std::string> TaskText;  // bytes as stored in the data file
  Column<int16_t> EveryNDays;
  Column<int16_t> StartDay;
  Column<int16_t> StartMonth;
  Column<int16_t> StartYear;
  Column<Mask> HourMask;        // entry h: hour h (0..23)
  Column<Mask> WeekdayMask;     // entry w-1: weekday w, Sunday = 1
  Column<Mask> DayOfMonthMask;  // entry d-1: day d
  Column<Mask> MonthMask;       // entry m-1: month m
  Column<int16_t> TaskChecked;  // -1 ticked, 0 not
  Column<Occurrence> PreviousOccurrence;
  Column<Occurrence> NextOccurrence;
  Column<DateTime> CheckedDate;

  // The highest id in use as last counted by the due-task refresh.
  int16_t TaskCount = 0;

  bool InUse(int id) const { return TaskText.Valid(id) && !TaskText[id].empty(); }

  // Start-up makes a table and fills it at once: its thousand pages are
  // made present in one step instead of one fault each as they are first
  // cleared. Allocated as usual otherwise, so leak checkers still see the
  // texts it holds.
  static void* operator new(std::size_t size);
  static void operator delete(void* table, std::size_t size) noexcept;
};

std::unique_ptr<TaskTable> MakeTaskTable();

// "Re-count": moves the tasks in use at ids 1 and up, in their order, to
// the ids 1, 2, 3, ... with all their fields. Slot 0 stays where it is. A
// slot that its task has left keeps its old fields with an empty text, so
// it is free. TaskCount is left for the next refresh to recount.
void RecountTasks(TaskTable& table);

}  // namespace zelto
