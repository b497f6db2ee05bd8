// The occurrence field as a value: what it holds survives copies, moves and
// assignments between kinds, and a marker is one whichever way it was made.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "store_test_util.h"

namespace zelto {
namespace {

using test::At;

struct Held {
  const char* what;
  Occurrence value;
  bool empty;
  std::optional<DateTime> date;
  std::optional<std::string> text;
};

std::vector<Held> Values() {
  return {
      {"empty", Occurrence(), true, std::nullopt, std::nullopt},
      {"a date-time", At(2024, 3, 1, 9), false, At(2024, 3, 1, 9), std::nullopt},
      {"the zero date-time", DateTime(), false, DateTime(), std::nullopt},
      {"More than 1 year", Occurrence(kMoreThanOneYear), false, std::nullopt,
       std::string(kMoreThanOneYear)},
      {"the error marker", std::string(kErrorMarker), false, std::nullopt,
       std::string(kErrorMarker)},
      {"ok", "ok", false, std::nullopt, "ok"},
      {"a marker with a blank", "ok ", false, std::nullopt, "ok "},
      {"a date text", "5/15/2024 11:00 AM", false, std::nullopt, "5/15/2024 11:00 AM"},
      {"a long text", std::string(300, 'x'), false, std::nullopt, std::string(300, 'x')},
      {"an empty text", std::string(), false, std::nullopt, ""},
  };
}

void ExpectHolds(const Occurrence& value, const Held& held) {
  EXPECT_EQ(value.Empty(), held.empty);
  EXPECT_EQ(value.Date() ? std::optional(*value.Date()) : std::nullopt, held.date);
  EXPECT_EQ(value.Text() ? std::optional(*value.Text()) : std::nullopt, held.text);
  EXPECT_EQ(value, held.value);
}

TEST(Occurrence, HoldsItsValueThroughCopiesMovesAndAssignments) {
  const std::vector<Held> values = Values();
  for (const Held& a : values) {
    SCOPED_TRACE(a.what);
    ExpectHolds(a.value, a);
    Occurrence copy = a.value;
    ExpectHolds(copy, a);
    Occurrence moved = std::move(copy);
    ExpectHolds(moved, a);
    copy = moved;  // a moved-from field takes a value again
    ExpectHolds(copy, a);
    const Occurrence& itself = moved;
    moved = itself;
    ExpectHolds(moved, a);
    for (const Held& b : values) {
      SCOPED_TRACE(b.what);
      Occurrence target = b.value;
      EXPECT_EQ(target == a.value, &a == &b) << "equal exactly to itself";
      target = a.value;
      ExpectHolds(target, a);
      ExpectHolds(b.value, b);
      Occurrence source = b.value;
      target = std::move(source);
      ExpectHolds(target, b);
    }
  }
}

TEST(Occurrence, MarkersAreTheSameHoweverMade) {
  for (std::string_view marker : {kMoreThanOneYear, kErrorMarker, kOkMarker}) {
    SCOPED_TRACE(marker);
    const Occurrence a(marker), b(std::string{marker}), c(std::string(marker).c_str());
    EXPECT_EQ(a, b);
    EXPECT_EQ(a, c);
    EXPECT_TRUE(HoldsText(a, marker));
    EXPECT_FALSE(HoldsText(a, std::string(marker) + " "));
  }
  EXPECT_FALSE(HoldsText(Occurrence(), ""));
  EXPECT_FALSE(HoldsText(At(2024, 1, 1), "2024-01-01-00"));
}

}  // namespace
}  // namespace zelto
