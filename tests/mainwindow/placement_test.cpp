#include <gtest/gtest.h>

#include "mainwindow/placement.h"

namespace zelto {
namespace {

// Each value on its own: one outside the 16-bit range keeps its old one.
TEST(Placement, RecordsTwipsEachValueOnItsOwn) {
  const struct {
    QRect frame;
    double twipsPerPixel;
    int left, top, width, height;
  } steps[] = {
      {{10, 20, 400, 533}, 15, 150, 300, 6000, 7995},
      {{-4, -4, 1928, 1048}, 15, -60, -60, 28920, 15720},  // maximised: slightly off the screen
      {{2200, 30, 500, 600}, 15, -60, 450, 7500, 9000},    // the left no longer fits
      {{-2185, 0, 100, 100}, 15, -60, 0, 1500, 1500},      // -32775 twips
      {{2184, 0, 100, 100}, 15, 32760, 0, 1500, 1500},     // still fits
      {{1, 3, 5, 7}, 12.5, 12, 38, 62, 88},                // halves to even
  };
  Placement placement;
  for (const auto& s : steps) {
    placement.Record(s.frame, s.twipsPerPixel);
    EXPECT_EQ(placement.WindowLeft, s.left);
    EXPECT_EQ(placement.WindowTop, s.top);
    EXPECT_EQ(placement.WindowWidth, s.width);
    EXPECT_EQ(placement.WindowHeight, s.height);
  }
}

}  // namespace
}  // namespace zelto
