#include <gtest/gtest.h>

#include "store/convert.h"
#include "store/datetime.h"
#include "support/core/fakes.h"

namespace zelto {
namespace {

using test::At;

TEST(DateTime, ZeroIsTheEighteenNinetyNineEpochOnASaturday) {
  DateTime zero;
  EXPECT_EQ(FormatFileDate(zero), "1899-12-30-00");
  EXPECT_EQ(zero.Weekday(), 7);
  EXPECT_EQ(zero.AddDays(1).Weekday(), 1);  // Sunday counts as 1
  EXPECT_EQ(At(2011, 12, 18).Weekday(), 1);
  EXPECT_EQ(At(2024, 2, 29).Weekday(), 5);  // Thursday
}

TEST(DateTime, PartsRollOverIntoNeighbouringUnits) {
  struct Case {
    int y, m, d, h;
    const char* expected;
  };
  for (const Case& c :
       {Case{2024, 13, 1, 25, "2025-01-02-01"}, Case{2024, 3, 0, 0, "2024-02-29-00"},
        Case{2023, 3, 0, 0, "2023-02-28-00"}, Case{2024, 1, 1, 24, "2024-01-02-00"},
        Case{2024, 0, 1, 0, "2023-12-01-00"}, Case{2024, -30, 1, 0, "2021-06-01-00"},
        Case{2024, 1, -1, -1, "2023-12-29-23"}, Case{99, 13, 1, 0, "0100-01-01-00"}}) {
    auto value = DateTime::FromParts(c.y, c.m, c.d, c.h);
    ASSERT_TRUE(value) << c.expected;
    EXPECT_EQ(FormatFileDate(*value), c.expected);
  }
}

TEST(DateTime, YearsOutsideOneHundredToNineNineNineNineFail) {
  EXPECT_FALSE(DateTime::FromParts(99, 12, 31));
  EXPECT_FALSE(DateTime::FromParts(10000, 1, 1));
  EXPECT_FALSE(DateTime::FromParts(9999, 12, 32));
  EXPECT_TRUE(DateTime::FromParts(100, 1, 1));
  EXPECT_TRUE(DateTime::FromParts(9999, 12, 31, 23));
  EXPECT_FALSE(DateTime::FromParts(9000, 32767, 1, 0));
  EXPECT_TRUE(DateTime::FromParts(2024, 32767, 32767, 32767));
}

TEST(DateTime, HourStepsAreCalendarStepsWithoutDaylightSaving) {
  // 2024-03-31 02:00 does not exist on a Berlin wall clock; a naive value has it.
  const DateTime one = At(2024, 3, 31, 1);
  EXPECT_EQ(FormatFileDate(one.AddHours(1)), "2024-03-31-02");
  EXPECT_EQ(FormatFileDate(At(2024, 12, 31, 23).AddHours(1)), "2025-01-01-00");
  EXPECT_EQ(At(2024, 5, 6, 10, 59, 59).StartOfHour(), At(2024, 5, 6, 10));
  EXPECT_EQ(DateTime::FromSeconds(-1).StartOfHour(), DateTime().AddHours(-1));
}

TEST(DateTime, FileDatesParseWithRollOverAndIgnoreExtraParts) {
  EXPECT_EQ(ParseFileDate("2024-13-01-25"), At(2025, 1, 2, 1));
  EXPECT_EQ(ParseFileDate("2024-03-04-18-99"), At(2024, 3, 4, 18));
  EXPECT_EQ(ParseFileDate("1899-12-30-00"), DateTime());
  EXPECT_FALSE(ParseFileDate("2024-03-04"));
  EXPECT_FALSE(ParseFileDate("2024-03-x-04"));
  EXPECT_FALSE(ParseFileDate("More than 1 year"));
  EXPECT_FALSE(ParseFileDate(""));
  EXPECT_FALSE(ParseFileDate("0050-01-01-00"));
}

TEST(DateTime, GeneralDatesOfTheOldestFormat) {
  EXPECT_EQ(ParseGeneralDate("2011-12-18 14:05"), At(2011, 12, 18, 14, 5));
  EXPECT_EQ(ParseGeneralDate("2011-12-18 14:05:09"), At(2011, 12, 18, 14, 5, 9));
  EXPECT_EQ(ParseGeneralDate("2011-12-18"), At(2011, 12, 18));
  EXPECT_EQ(ParseGeneralDate("12/18/2011"), At(2011, 12, 18));
  EXPECT_EQ(ParseGeneralDate("12/18/2011 2:05:00 PM"), At(2011, 12, 18, 14, 5));
  EXPECT_EQ(ParseGeneralDate("1/2/2012 12:00 AM"), At(2012, 1, 2, 0));
  EXPECT_EQ(ParseGeneralDate(" 1/2/2012 12:30 pm "), At(2012, 1, 2, 12, 30));
  EXPECT_FALSE(ParseGeneralDate("2/30/2012"));
  EXPECT_FALSE(ParseGeneralDate("13/1/2012"));
  EXPECT_FALSE(ParseGeneralDate("1/2/2012 13:00 PM"));
  EXPECT_FALSE(ParseGeneralDate("2011-12-18 25:00"));
  EXPECT_FALSE(ParseGeneralDate("!!! Error !!!"));
  EXPECT_FALSE(ParseGeneralDate("2011-12-18 x"));
}

TEST(Convert, Int16ParsingRoundsHalvesToEvenAndRejectsOutOfRange) {
  struct Case {
    const char* text;
    std::optional<int16_t> expected;
  };
  for (const Case& c : {Case{"0", 0},
                        Case{" 7 ", 7},
                        Case{"-1", -1},
                        Case{"+3", 3},
                        Case{"2.5", 2},
                        Case{"3.5", 4},
                        Case{"-2.5", -2},
                        Case{"1.49", 1},
                        Case{"32767", 32767},
                        Case{"-32768", -32768},
                        Case{"32767.4", 32767},
                        Case{"32767.5", std::nullopt},
                        Case{"32768", std::nullopt},
                        Case{"-32769", std::nullopt},
                        Case{"", std::nullopt},
                        Case{"  ", std::nullopt},
                        Case{"abc", std::nullopt},
                        Case{"1x", std::nullopt},
                        Case{"nan", std::nullopt},
                        Case{"inf", std::nullopt},
                        Case{"--1", std::nullopt},
                        Case{"\t12\t", 12},
                        Case{"1e3", 1000},
                        Case{"0x10", std::nullopt}}) {
    EXPECT_EQ(ParseInt16(c.text), c.expected) << '"' << c.text << '"';
  }
}

}  // namespace
}  // namespace zelto
