#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "rules.h"
#include "schedule/occurrences.h"
#include "support/core/fakes.h"

// Counts every allocation in this test program.
namespace {
std::atomic<long> gAllocations{0};
}

void* operator new(std::size_t size) {
  ++gAllocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}

namespace zelto {
namespace {

using test::At;
using test::WriteRule;

// Whole-table passes search thousands of tasks; a task without a match
// must not cost an allocation on every search.
TEST(OccurrenceSearch, SearchingAgainAllocatesNothing) {
  auto t = MakeTaskTable();
  WriteRule(*t, 1, {.hours = ""});                  // never: both fields get the marker
  WriteRule(*t, 2, {.hours = "9"});                 // daily
  WriteRule(*t, 3, {.days = "29", .months = "2"});  // one field gets the marker
  for (int id = 1; id <= 3; ++id) FindOccurrences(*t, id, At(2024, 5, 15, 10));
  const long before = gAllocations;
  for (int hour = 0; hour < 100; ++hour) {
    for (int id = 1; id <= 3; ++id) FindOccurrences(*t, id, At(2024, 5, 15, 10).AddHours(hour));
  }
  EXPECT_EQ(gAllocations - before, 0);
  EXPECT_EQ(t->NextOccurrence[1], Occurrence(std::string(kMoreThanOneYear)));
}

}  // namespace
}  // namespace zelto
