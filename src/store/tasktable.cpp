#include "store/tasktable.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <utility>

namespace zelto {

namespace {

const std::string& MarkerText(int marker) {
  static const std::string kTexts[] = {std::string(kMoreThanOneYear), std::string(kErrorMarker),
                                       std::string(kOkMarker)};
  return kTexts[marker];
}

}  // namespace

void Occurrence::SetText(std::string_view text) {
  text_ = new std::string(text);
  kind_ = Kind::Text;
}

void Occurrence::DeleteText() {
  delete text_;
  kind_ = Kind::Empty;
}

const std::string* Occurrence::Text() const {
  switch (kind_) {
    case Kind::Empty:
    case Kind::Date:
      return nullptr;
    case Kind::MoreThanOneYear:
      return &MarkerText(0);
    case Kind::Error:
      return &MarkerText(1);
    case Kind::Ok:
      return &MarkerText(2);
    case Kind::Text:
      break;
  }
  return text_;
}

bool Occurrence::operator==(const Occurrence& other) const {
  if (kind_ != other.kind_) return false;
  if (kind_ == Kind::Date) return date_ == other.date_;
  if (kind_ == Kind::Text) return *text_ == *other.text_;
  return true;
}

std::optional<DateTime> OccurrenceAsDate(const Occurrence& value) {
  if (value.Empty()) return DateTime();
  if (const DateTime* date = value.Date()) return *date;
  const std::string& text = *value.Text();
  if (auto parsed = ParseGeneralDate(text)) return parsed;
  return ParseFileDate(text);
}

void MaskColumn::OutOfRange() {
  throw std::out_of_range("index outside the table");
}

// Rows with wide entries are rare, and these paths are taken for them alone.

int16_t MaskColumn::GetWide(int id, int k) const {
  return wide_.at(id)[static_cast<std::size_t>(k)];
}

void MaskColumn::SetWide(int id, int k, int16_t value) {
  Row& row = rows_[id];
  const auto entry = static_cast<std::size_t>(k);
  if (!Fits(value)) {
    row[entry] = kWide;
    wide_[id][entry] = value;
    return;
  }
  // The entry was wide and is not any more.
  row[entry] = static_cast<int8_t>(value);
  if (std::find(row.begin(), row.end(), kWide) == row.end()) wide_.erase(id);
}

Mask MaskColumn::Read(int id) const {
  const Row& row = rows_[id];
  Mask mask;
  for (int k = 0; k < kMaskSize; ++k) mask[k] = row[static_cast<std::size_t>(k)];
  if (!wide_.empty()) [[unlikely]] {
    if (const auto wide = wide_.find(id); wide != wide_.end()) {
      for (int k = 0; k < kMaskSize; ++k) {
        if (row[static_cast<std::size_t>(k)] == kWide)
          mask[k] = wide->second[static_cast<std::size_t>(k)];
      }
    }
  }
  return mask;
}

void MaskColumn::Write(int id, const Mask& mask) {
  Row& row = rows_[id];
  bool fits = true;
  for (int k = 0; k < kMaskSize; ++k) {
    fits &= Fits(mask[k]);
    row[static_cast<std::size_t>(k)] = static_cast<int8_t>(mask[k]);
  }
  if (fits) {
    if (!wide_.empty()) wide_.erase(id);
    return;
  }
  WideEntries& wide = wide_[id];
  for (int k = 0; k < kMaskSize; ++k) {
    wide[static_cast<std::size_t>(k)] = mask[k];
    if (!Fits(mask[k])) row[static_cast<std::size_t>(k)] = kWide;
  }
}

void MaskColumn::Copy(int id, const MaskColumn& from, int fromId) {
  const Row& source = from.rows_[fromId];
  Row& row = rows_[id];
  if (from.wide_.empty() && wide_.empty()) {
    row = source;
    return;
  }
  // Copied out first: the source may be this column, whose map the
  // assignment may rehash.
  std::optional<WideEntries> wide;
  if (const auto found = from.wide_.find(fromId); found != from.wide_.end()) wide = found->second;
  row = source;
  if (wide) {
    wide_[id] = *wide;
  } else {
    wide_.erase(id);
  }
}

void MaskColumn::Fill(int id, int16_t value) {
  Row& row = rows_[id];
  std::fill_n(row.begin(), kMaskSize, Fits(value) ? static_cast<int8_t>(value) : kWide);
  if (Fits(value)) {
    if (!wide_.empty()) wide_.erase(id);
  } else {
    wide_[id].fill(value);
  }
}

bool MaskColumn::Equal(const MaskColumn& a, int i, const MaskColumn& b, int j) {
  // Rows compared as four words, with no call and no early exit.
  const Row &x = a.rows_[i], &y = b.rows_[j];
  uint64_t difference = 0;
  for (std::size_t offset = 0; offset < kRowSize; offset += 8) {
    uint64_t u, v;
    std::memcpy(&u, x.data() + offset, 8);
    std::memcpy(&v, y.data() + offset, 8);
    difference |= u ^ v;
  }
  if (difference != 0) return false;
  if (a.wide_.empty() || b.wide_.empty()) return true;  // the same bytes, so neither has kWide
  for (int k = 0; k < kMaskSize; ++k) {
    if (x[static_cast<std::size_t>(k)] == kWide && a.Get(i, k) != b.Get(j, k)) return false;
  }
  return true;
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
