#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
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

// A mask as a value on its own, as the editor works on it.
using Mask = CheckedArray<int16_t, kMaskSize>;

// The table's masks, one column per mask with two bits per entry. Entries
// are nearly always 0 or 1, now and then 2 (a greyed box), yet a data file
// may give any 16-bit value, and the file written back must hold it
// unchanged. Bit k of `ones` and of `twos` give entry k: neither set is 0,
// `ones` alone 1, `twos` alone 2, and both say that the value is kept beside
// the bits. Since 0, 1 and 2 are always their own bits, two masks are equal
// exactly when their bits are and their kept entries are. Every access is
// bounds-checked like CheckedArray's, the entry too.
class MaskColumn {
 public:
  struct Bits {
    uint32_t ones = 0;
    uint32_t twos = 0;

    // Only an entry holding exactly 1 selects.
    uint32_t Selected() const { return ones & ~twos; }
    // The entries whose values are kept beside the bits.
    uint32_t Wide() const { return ones & twos; }
    bool operator==(const Bits&) const = default;
  };
  static constexpr uint32_t kAllEntries = (uint32_t{1} << kMaskSize) - 1;

  static constexpr bool Fits(int value) { return value >= 0 && value <= 2; }
  static constexpr bool Valid(int id) { return Rows::Valid(id); }
  constexpr std::size_t size() const { return kSlotCount; }

  class ConstRef;
  class Ref;

  // One entry of a slot's mask, read and assigned as an int16_t.
  class Entry {
   public:
    operator int16_t() const { return column_->Get(id_, k_); }
    const Entry& operator=(int16_t value) const {
      column_->Set(id_, k_, value);
      return *this;
    }
    const Entry& operator=(const Entry& other) const { return *this = static_cast<int16_t>(other); }
    Entry(const Entry&) = default;

   private:
    friend class Ref;
    Entry(MaskColumn& column, int id, int k) : column_(&column), id_(id), k_(CheckEntry(k)) {}
    MaskColumn* column_;
    int id_;
    int k_;
  };

  // A slot's mask, read whole as a Mask or entry by entry.
  class ConstRef {
   public:
    int16_t operator[](int k) const { return column_->Get(id_, CheckEntry(k)); }
    operator Mask() const { return column_->Read(id_); }
    // The entries as bits; Wide() marks those that only operator[] reads.
    const Bits& AsBits() const { return column_->rows_[id_]; }
    bool operator==(const ConstRef& other) const {
      return Equal(*column_, id_, *other.column_, other.id_);
    }
    ConstRef(const ConstRef&) = default;
    ConstRef& operator=(const ConstRef&) = delete;

   private:
    friend class MaskColumn;
    friend class Ref;
    ConstRef(const MaskColumn& column, int id) : column_(&column), id_(id) {}
    const MaskColumn* column_;
    int id_;
  };

  // A slot's mask that assignments write into: a Mask, another slot's mask
  // (of any table), a single entry or the same value everywhere.
  class Ref : public ConstRef {
   public:
    Entry operator[](int k) const { return Entry(Column(), id_, k); }
    const Ref& operator=(const Mask& mask) const {
      Column().Write(id_, mask);
      return *this;
    }
    const Ref& operator=(const ConstRef& other) const {
      Column().Copy(id_, *other.column_, other.id_);
      return *this;
    }
    const Ref& operator=(const Ref& other) const {
      return *this = static_cast<const ConstRef&>(other);
    }
    Ref(const Ref&) = default;
    void Fill(int16_t value) const { Column().Fill(id_, value); }
    // For a reader that sets all entries at once to 0, 1 or 2 (`bits` has no
    // wide entry): no kept value is left behind.
    void Overwrite(Bits bits) const { Column().Overwrite(id_, bits); }

   private:
    friend class MaskColumn;
    Ref(MaskColumn& column, int id) : ConstRef(column, id) {}
    // Made only from a column that is not const.
    MaskColumn& Column() const { return const_cast<MaskColumn&>(*column_); }
  };

  Ref operator[](int id) { return Ref(*this, CheckId(id)); }
  ConstRef operator[](int id) const { return ConstRef(*this, CheckId(id)); }

 private:
  using Rows = CheckedArray<Bits, kSlotCount>;
  using WideEntries = std::array<int16_t, kMaskSize>;  // only those that Wide() marks count

  static int CheckId(int id) {
    if (!Valid(id)) [[unlikely]]
      OutOfRange();
    return id;
  }
  static int CheckEntry(int k) {
    if (static_cast<unsigned>(k) >= kMaskSize) [[unlikely]]
      OutOfRange();
    return k;
  }
  [[noreturn, gnu::cold, gnu::noinline]] static void OutOfRange();

  int16_t Get(int id, int k) const {
    const Bits& bits = rows_[id];
    const auto code = static_cast<int16_t>((bits.ones >> k & 1) | (bits.twos >> k & 1) << 1);
    return code != 3 ? code : GetWide(id, k);
  }
  void Set(int id, int k, int16_t value) {
    Bits& bits = rows_[id];
    if (Fits(value) && !(bits.Wide() >> k & 1)) {
      SetCode(bits, k, value);
    } else {
      SetWide(id, k, value);
    }
  }
  static void SetCode(Bits& bits, int k, int value) {
    const uint32_t bit = uint32_t{1} << k;
    bits.ones = (bits.ones & ~bit) | (value & 1 ? bit : 0);
    bits.twos = (bits.twos & ~bit) | (value & 2 ? bit : 0);
  }
  void Overwrite(int id, Bits bits) {
    if (!wide_.empty()) [[unlikely]]
      wide_.erase(id);
    rows_[id] = bits;
  }
  Mask Read(int id) const;
  void Write(int id, const Mask& mask);
  void Copy(int id, const MaskColumn& from, int fromId);
  void Fill(int id, int16_t value);
  static bool Equal(const MaskColumn& a, int i, const MaskColumn& b, int j);
  int16_t GetWide(int id, int k) const;
  void SetWide(int id, int k, int16_t value);

  Rows rows_;
  // By slot, for the slots that have a wide entry and for no other.
  std::unordered_map<int, WideEntries> wide_;
};

// An occurrence field: empty (never scheduled), a date-time, or a text
// (a marker, or a date text kept from the oldest file format). Sixteen
// bytes: the markers are known texts and take no memory of their own, and
// any other text is kept apart.
class Occurrence {
 public:
  Occurrence() = default;
  Occurrence(std::monostate) {}
  Occurrence(DateTime date) : kind_(Kind::Date), date_(date) {}
  // Inline, so that a marker given as a constant costs a store.
  Occurrence(std::string_view text) {
    if (text == kMoreThanOneYear) {
      kind_ = Kind::MoreThanOneYear;
    } else if (text == kErrorMarker) {
      kind_ = Kind::Error;
    } else if (text == kOkMarker) {
      kind_ = Kind::Ok;
    } else {
      SetText(text);
    }
  }
  Occurrence(const std::string& text) : Occurrence(std::string_view(text)) {}
  Occurrence(const char* text) : Occurrence(std::string_view(text)) {}
  Occurrence(const Occurrence& other) : kind_(other.kind_) {
    if (kind_ == Kind::Text) [[unlikely]] {
      SetText(*other.text_);
    } else {
      date_ = other.date_;
    }
  }
  Occurrence(Occurrence&& other) noexcept { Take(other); }
  Occurrence& operator=(const Occurrence& other) {
    if (this != &other) *this = Occurrence(other);
    return *this;
  }
  Occurrence& operator=(Occurrence&& other) noexcept {
    if (this != &other) {
      Release();
      Take(other);
    }
    return *this;
  }
  // The loader and the search store date-times in bulk.
  Occurrence& operator=(DateTime date) {
    Release();
    kind_ = Kind::Date;
    date_ = date;
    return *this;
  }
  ~Occurrence() { Release(); }

  bool Empty() const { return kind_ == Kind::Empty; }
  const DateTime* Date() const { return kind_ == Kind::Date ? &date_ : nullptr; }
  // The text, a marker's too; null for an empty field or a date-time.
  const std::string* Text() const;
  bool operator==(const Occurrence& other) const;

 private:
  enum class Kind : uint8_t { Empty, Date, MoreThanOneYear, Error, Ok, Text };
  void Release() {
    if (kind_ == Kind::Text) [[unlikely]]
      DeleteText();
  }
  void DeleteText();
  void SetText(std::string_view text);
  // Leaves `other` empty if it held a text of its own.
  void Take(Occurrence& other) {
    kind_ = other.kind_;
    if (kind_ == Kind::Text) {
      text_ = other.text_;
      other.kind_ = Kind::Empty;
    } else {
      date_ = other.date_;
    }
  }

  Kind kind_ = Kind::Empty;
  union {
    DateTime date_{};
    std::string* text_;  // owned
  };
};

static_assert(sizeof(Occurrence) == 16);

inline bool HoldsText(const Occurrence& value, std::string_view text) {
  const std::string* s = value.Text();
  return s != nullptr && *s == text;
}

// The field read as a date-time: an empty field is the zero date-time, a
// text is converted when it reads as a date (the oldest format keeps dates
// as text), and a marker text gives nothing.
std::optional<DateTime> OccurrenceAsDate(const Occurrence& value);

// The tasks' texts, as the bytes the data file holds, one after another in
// a single buffer: ten thousand texts are one allocation instead of one
// each, and a load appends them in one pass. A text read from the column is
// a view that holds until the next change of the column.
class TextColumn {
 public:
  static constexpr bool Valid(int id) { return Spans::Valid(id); }
  constexpr std::size_t size() const { return kSlotCount; }

  // const: assigning to the view would compile and change nothing.
  const std::string_view operator[](int id) const {
    const Span span = spans_[id];
    return {bytes_.data() + span.start, span.length};
  }
  void Set(int id, std::string_view text);
  // The text of `from` goes to `to` and `from` is left empty; no byte moves.
  void Move(int to, int from);
  // Every text empty; the buffer is kept for the next fill.
  void Clear();

 private:
  struct Span {
    uint32_t start = 0;
    uint32_t length = 0;
  };
  using Spans = CheckedArray<Span, kSlotCount>;
  void Drop(Span span) { unused_ += span.length; }
  void Compact();

  Spans spans_;
  std::string bytes_;
  std::size_t unused_ = 0;  // bytes that no span covers any more
};

// The whole data model: 10,001 slots as parallel arrays, one per field,
// indexed by task id. A slot is in use exactly when its TaskText is not
// empty. About 0.9 MB besides the texts, so it lives on the heap (use
// MakeTaskTable).
struct TaskTable {
  template <typename T>
  using Column = CheckedArray<T, kSlotCount>;

  TextColumn TaskText;  // bytes as stored in the data file
  Column<int16_t> EveryNDays;
  Column<int16_t> StartDay;
  Column<int16_t> StartMonth;
  Column<int16_t> StartYear;
  MaskColumn HourMask;          // entry h: hour h (0..23)
  MaskColumn WeekdayMask;       // entry w-1: weekday w, Sunday = 1
  MaskColumn DayOfMonthMask;    // entry d-1: day d
  MaskColumn MonthMask;         // entry m-1: month m
  Column<int16_t> TaskChecked;  // -1 ticked, 0 not
  Column<Occurrence> PreviousOccurrence;
  Column<Occurrence> NextOccurrence;
  Column<DateTime> CheckedDate;

  // The highest id in use as last counted by the due-task refresh.
  int16_t TaskCount = 0;

  bool InUse(int id) const { return TaskText.Valid(id) && !TaskText[id].empty(); }

  // Start-up makes a table and fills it at once: its hundreds of pages are
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
