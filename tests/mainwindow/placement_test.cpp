#include <gtest/gtest.h>

#include "mainwindow/placement.h"

namespace zelto {
namespace {

TEST(Placement, RecordsTwipsEachValueOnItsOwn) {
  Placement placement;
  placement.Record(QRect(10, 20, 400, 533), 15.0);
  EXPECT_EQ(placement.WindowLeft, 150);
  EXPECT_EQ(placement.WindowTop, 300);
  EXPECT_EQ(placement.WindowWidth, 6000);
  EXPECT_EQ(placement.WindowHeight, 7995);

  // A maximised window's frame lies slightly off the screen.
  placement.Record(QRect(-4, -4, 1928, 1048), 15.0);
  EXPECT_EQ(placement.WindowLeft, -60);
  EXPECT_EQ(placement.WindowTop, -60);
  EXPECT_EQ(placement.WindowWidth, 28920);

  // Far to the right: the left edge no longer fits and keeps its value.
  placement.Record(QRect(2200, 30, 500, 600), 15.0);
  EXPECT_EQ(placement.WindowLeft, -60);
  EXPECT_EQ(placement.WindowTop, 450);
  EXPECT_EQ(placement.WindowWidth, 7500);
  EXPECT_EQ(placement.WindowHeight, 9000);
  placement.Record(QRect(-2185, 0, 100, 100), 15.0);  // -32775 twips
  EXPECT_EQ(placement.WindowLeft, -60);
  placement.Record(QRect(2184, 0, 100, 100), 15.0);  // 32760 twips still fits
  EXPECT_EQ(placement.WindowLeft, 32760);

  // At 12.5 twips a pixel the halves go to even.
  placement.Record(QRect(1, 3, 5, 7), 1440.0 / 115.2);  // 12.5 twips a pixel
  EXPECT_EQ(placement.WindowLeft, 12);                  // 12.5
  EXPECT_EQ(placement.WindowTop, 38);                   // 37.5
  EXPECT_EQ(placement.WindowWidth, 62);                 // 62.5
  EXPECT_EQ(placement.WindowHeight, 88);                // 87.5
}

}  // namespace
}  // namespace zelto
