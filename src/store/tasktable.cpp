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
  Bits& bits = rows_[id];
  if (!Fits(value)) {
    const uint32_t bit = uint32_t{1} << k;
    bits.ones |= bit;
    bits.twos |= bit;
    wide_[id][static_cast<std::size_t>(k)] = value;
    return;
  }
  // The entry was wide and is not any more.
  SetCode(bits, k, value);
  if (bits.Wide() == 0) wide_.erase(id);
}

Mask MaskColumn::Read(int id) const {
  Mask mask;
  for (int k = 0; k < kMaskSize; ++k) mask[k] = Get(id, k);
  return mask;
}

void MaskColumn::Write(int id, const Mask& mask) {
  Bits bits;
  for (int k = 0; k < kMaskSize; ++k) SetCode(bits, k, Fits(mask[k]) ? mask[k] : 3);
  rows_[id] = bits;
  if (bits.Wide() == 0) {
    if (!wide_.empty()) wide_.erase(id);
    return;
  }
  WideEntries& wide = wide_[id];
  for (int k = 0; k < kMaskSize; ++k) wide[static_cast<std::size_t>(k)] = mask[k];
}

void MaskColumn::Copy(int id, const MaskColumn& from, int fromId) {
  const Bits source = from.rows_[fromId];
  Bits& bits = rows_[id];
  if (from.wide_.empty() && wide_.empty()) {
    bits = source;
    return;
  }
  // Copied out first: the source may be this column, whose map the
  // assignment may rehash.
  std::optional<WideEntries> wide;
  if (const auto found = from.wide_.find(fromId); found != from.wide_.end()) wide = found->second;
  bits = source;
  if (wide) {
    wide_[id] = *wide;
  } else {
    wide_.erase(id);
  }
}

void MaskColumn::Fill(int id, int16_t value) {
  if (Fits(value)) {
    rows_[id] = {value & 1 ? kAllEntries : 0, value & 2 ? kAllEntries : 0};
    if (!wide_.empty()) wide_.erase(id);
  } else {
    rows_[id] = {kAllEntries, kAllEntries};
    wide_[id].fill(value);
  }
}

bool MaskColumn::Equal(const MaskColumn& a, int i, const MaskColumn& b, int j) {
  const Bits &x = a.rows_[i], &y = b.rows_[j];
  if (x != y) return false;
  if (x.Wide() == 0) return true;
  for (int k = 0; k < kMaskSize; ++k) {
    if ((x.Wide() >> k & 1) && a.GetWide(i, k) != b.GetWide(j, k)) return false;
  }
  return true;
}

void TextColumn::Set(int id, std::string_view text) {
  Span& span = spans_[id];
  if (text.size() <= span.length) {
    // In place, also when `text` is a part of this very text.
    if (!text.empty()) std::memmove(bytes_.data() + span.start, text.data(), text.size());
    unused_ += span.length - text.size();
    span.length = static_cast<uint32_t>(text.size());
    if (text.empty()) span.start = 0;
  } else {
    Drop(std::exchange(span, Span{}));
    if (bytes_.size() + text.size() > UINT32_MAX) {
      // Written anew, the buffer moves, and `text` may be one of its texts.
      const std::string copy(text);
      Compact();
      if (bytes_.size() + copy.size() > UINT32_MAX) throw std::length_error("task texts too long");
      Set(id, copy);
      return;
    }
    // Appending copes with `text` being another text of the buffer.
    span = Span{static_cast<uint32_t>(bytes_.size()), static_cast<uint32_t>(text.size())};
    bytes_.append(text);
  }
  // Edits leave old texts behind; a buffer more than half unused is
  // written anew.
  if (unused_ > 4096 && unused_ > bytes_.size() / 2) Compact();
}

void TextColumn::Move(int to, int from) {
  if (to == from) return;
  Drop(spans_[to]);
  spans_[to] = std::exchange(spans_[from], Span{});
}

void TextColumn::Clear() {
  spans_.Fill(Span{});
  bytes_.clear();
  unused_ = 0;
}

void TextColumn::Compact() {
  std::string kept;
  kept.reserve(bytes_.size() - unused_);
  for (int id = 0; id < kSlotCount; ++id) {
    Span& span = spans_[id];
    if (span.length == 0) {
      span.start = 0;
      continue;
    }
    const auto start = static_cast<uint32_t>(kept.size());
    kept.append(bytes_, span.start, span.length);
    span.start = start;
  }
  bytes_ = std::move(kept);
  unused_ = 0;
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

void TaskTable::operator delete(void* table, std::size_t) noexcept {
  // Unsized: a compiler without sized deallocation (clang before 16, as
  // the fuzz build uses) has no sized global delete to call.
  ::operator delete(table);
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
    table.TaskText.Move(n, i);
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
