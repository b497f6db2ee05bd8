#include <gtest/gtest.h>

#include <random>
#include <set>

#include "store/convert.h"
#include "store/datafile.h"
#include "store_test_util.h"
#include "support/core/fakes.h"

namespace zelto {
namespace {

using test::At;
using test::Lines;
using test::MaskLine;

std::unique_ptr<TaskTable> LoadFixture(std::string_view name, test::ScriptedPrompter& prompter) {
  test::TempFolder folder;
  std::filesystem::copy_file(test::StoreData(name), folder / kContentFile);
  auto table = MakeTaskTable();
  EXPECT_TRUE(LoadDataFile(*table, folder.path(), prompter));
  return table;
}

TEST(LoadFormats, NewestFormatReadsEveryField) {
  test::ScriptedPrompter prompter;
  auto table = LoadFixture("v3.txt", prompter);
  EXPECT_TRUE(prompter.asked.empty());
  const TaskTable& t = *table;
  EXPECT_EQ(t.TaskText[7], "Water the plants");
  EXPECT_EQ(t.CheckedDate[7], DateTime());
  EXPECT_EQ(t.PreviousOccurrence[7], Occurrence(At(2024, 3, 4, 18)));
  EXPECT_EQ(t.NextOccurrence[7], Occurrence(At(2024, 3, 7, 18)));
  EXPECT_EQ(t.TaskChecked[7], 0);
  EXPECT_EQ(t.EveryNDays[7], 3);
  EXPECT_EQ(t.StartDay[7], 1);
  EXPECT_EQ(t.StartMonth[7], 3);
  EXPECT_EQ(t.StartYear[7], 2024);
  for (int k = 0; k < kMaskSize; ++k) {
    EXPECT_EQ(t.HourMask[7][k], k == 18 ? 1 : 0) << k;
    EXPECT_EQ(t.WeekdayMask[7][k], k < 7 ? 1 : 0) << k;
    EXPECT_EQ(t.DayOfMonthMask[7][k], 1) << k;
    EXPECT_EQ(t.MonthMask[7][k], k < 12 ? 1 : 0) << k;
  }
  EXPECT_EQ(t.TaskText[3], "Pay the rent");
  EXPECT_EQ(t.CheckedDate[3], At(2024, 3, 1, 9));
  EXPECT_TRUE(HoldsText(t.PreviousOccurrence[3], kMoreThanOneYear));
  EXPECT_TRUE(HoldsText(t.NextOccurrence[3], kErrorMarker));
  EXPECT_EQ(t.TaskChecked[3], -1);
  EXPECT_EQ(t.WeekdayMask[3][2], 1);
}

TEST(LoadFormats, MiddleFormatHasNoEachNDaysRule) {
  test::ScriptedPrompter prompter;
  auto table = LoadFixture("v2.txt", prompter);
  EXPECT_TRUE(prompter.asked.empty());
  const TaskTable& t = *table;
  EXPECT_EQ(t.PreviousOccurrence[7], Occurrence(At(2024, 3, 4, 18)));
  EXPECT_EQ(t.HourMask[7][18], 1);
  EXPECT_EQ(t.TaskChecked[3], -1);
  EXPECT_EQ(t.NextOccurrence[3], Occurrence(At(2024, 4, 1, 9)));
  // Line 4 is one number: the newest layout's five values do not convert.
  EXPECT_EQ(t.TaskText[4], "Read line four as one number");
  EXPECT_EQ(t.TaskChecked[4], 0);
  for (int id : {3, 4, 7}) {
    EXPECT_EQ(t.EveryNDays[id], 0);
    EXPECT_EQ(t.StartYear[id], 0);
  }
}

TEST(LoadFormats, OldestFormatConvertsCheckedDateAndKeepsOccurrenceTexts) {
  test::ScriptedPrompter prompter;
  auto table = LoadFixture("v1.txt", prompter);
  EXPECT_TRUE(prompter.asked.empty());
  const TaskTable& t = *table;
  EXPECT_EQ(t.CheckedDate[7], At(2024, 3, 5, 18, 30, 15));
  EXPECT_TRUE(HoldsText(t.PreviousOccurrence[7], "3/4/2024 6:00:00 PM"));
  EXPECT_TRUE(HoldsText(t.NextOccurrence[7], "3/7/2024 6:00:00 PM"));
  EXPECT_EQ(t.TaskChecked[7], -1);
  EXPECT_EQ(t.EveryNDays[7], 0);
  EXPECT_EQ(t.TaskText[8], "Caf\xe9 au lait");
  EXPECT_EQ(t.CheckedDate[8], At(2024, 3, 5, 14, 30));
  EXPECT_TRUE(HoldsText(t.PreviousOccurrence[8], kMoreThanOneYear));
  EXPECT_TRUE(HoldsText(t.NextOccurrence[8], "2024-03-07 18:00"));
}

TEST(LoadFormats, FileThatCannotBeReadReportsFailureAndOtherFirstLinesLoadNothing) {
  test::TempFolder folder;
  test::ScriptedPrompter prompter;
  auto table = MakeTaskTable();
  EXPECT_FALSE(LoadDataFile(*table, folder.path(), prompter));  // missing
  std::filesystem::create_directory(folder / kContentFile);
  EXPECT_FALSE(LoadDataFile(*table, folder.path(), prompter));  // a folder
  std::filesystem::remove(folder / kContentFile);

  const std::string record =
      Lines({" 1 ", "one", "2024-01-01-00\t\t", "0,0,0,0,0", "0", "0", "0", "0"});
  for (std::string first : {"*** end", "", " *****", "******", "*****x", "\xef\xbb\xbf*****"}) {
    test::WriteFileBytes(folder / kContentFile, first + "\r\n" + record);
    EXPECT_TRUE(LoadDataFile(*table, folder.path(), prompter)) << first;
    EXPECT_FALSE(table->InUse(1)) << first;
  }
  test::WriteFileBytes(folder / kContentFile, "");
  EXPECT_TRUE(LoadDataFile(*table, folder.path(), prompter));
  EXPECT_TRUE(prompter.asked.empty());
}

// A well-formed record with the given id and text, without its closing line.
std::string Record(std::string_view id, std::string_view text) {
  const std::string mask = MaskLine({1});
  return Lines({id, text, "2024-01-02-03\t2024-01-02-04\t2024-01-02-05", "-1,2,3,4,2024", mask,
                mask, mask, mask});
}

std::string File(std::initializer_list<std::string_view> parts) {
  std::string out;
  for (std::string_view part : parts) {
    out += part;
    if (!part.ends_with("\r\n")) out += "\r\n";
  }
  return out;
}

struct DamageCase {
  const char* name;
  std::string file;
  std::set<int> inUse;
  std::set<int> errored;  // both occurrences "!!! Error !!!" and one message each
};

TEST(LoadDamaged, EveryRowOfTheFailureTable) {
  const std::string date = "2024-01-02-03\t2024-01-02-04\t2024-01-02-05";
  const std::string nums = "-1,2,3,4,2024";
  const std::string two = Record(" 2 ", "two");
  const DamageCase cases[] = {
      {"only the terminator", File({"*** end"}), {}, {}},
      {"empty file", "", {}, {}},
      {"cut after line 3, next record fine",
       File({"*****", " 1 ", "one", date, "*****", two, "*** end"}),
       {1, 2},
       {1}},
      {"eof after line 3", File({"*****", " 1 ", "one", date}), {1}, {1}},
      {"terminator in place of line 5, loading goes on",
       File({"*****", " 1 ", "one", date, nums, "*** end", two, "*** end"}),
       {1, 2},
       {1}},
      {"two surplus lines",
       File({"*****", Record(" 1 ", "one"), "extra", "more", "*****", two, "*** end"}),
       {1, 2},
       {1}},
      {"surplus lines up to the end",
       File({"*****", Record(" 1 ", "one"), "extra", "more"}),
       {1},
       {1}},
      {"no closing line", File({"*****", two}), {2}, {2}},
      {"one non-marker line ends the file", File({"*****", two, "trailing"}), {2}, {}},
      {"eof in place of the text line", File({"*****", two, "*****", " 1 "}), {2}, {}},
      {"separator in place of the id line", File({"*****", "*****", two, "*** end"}), {2}, {}},
      {"terminator in place of the id line", File({"*****", "*** end", two, "*** end"}), {2}, {}},
      {"cut after the id line", File({"*****", " 1 ", "*****", two, "*** end"}), {2}, {}},
      {"terminator in place of the text line",
       File({"*****", " 1 ", "*** end", two, "*** end"}),
       {2},
       {}},
      {"id 12000", File({"*****", Record(" 12000 ", "big"), "*****", two, "*** end"}), {2}, {}},
      {"id 12000 cut short: no message",
       File({"*****", " 12000 ", "big", date, "*****", two, "*** end"}),
       {2},
       {}},
      {"ids -1, 10001 and text",
       File({"*****", Record("-1", "a"), "*****", Record("10001", "b"), "*****", Record("one", "c"),
             "*****", two, "*** end"}),
       {2},
       {}},
      {"id with blanks and a fraction",
       File({"*****", Record("  9.5\t", "nine"), "*** end"}),
       {10},
       {}},
      {"ids 0 and 10000",
       File({"*****", Record(" 10000 ", "last"), "*****", Record(" 0 ", "first"), "*** end"}),
       {0, 10000},
       {}},
      {"empty text line: slot stays free",
       File({"*****", Record(" 1 ", ""), "*****", two, "*** end"}),
       {2},
       {}},
      {"a second terminator is never reached",
       File({"*****", two, "*** end", Record(" 3 ", "three"), "*** end"}),
       {2},
       {}},
      {"LF line ends",
       Lines({"*****", " 1 ", "one", date, "*****", " 2 ", "two", date, nums, "0", "0", "0", "0",
              "*** end"},
             "\n"),
       {1, 2},
       {1}},
      {"marker-like texts followed by their date line",
       File({"*****", Record(" 1 ", "*****"), "*****", Record(" 2 ", "*** end"), "*** end"}),
       {1, 2},
       {}},
      {"marker-like text at the end of the file",
       File({"*****", two, "*****", " 1 ", "*****"}),
       {2},
       {}},
      {"marker text line before a line with one TAB",
       File({"*****", " 1 ", "*****", "x\ty", "*****", two, "*** end"}),
       {2},
       {}},
  };
  for (const DamageCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto table = MakeTaskTable();
    test::ScriptedPrompter prompter;
    LoadDataBytes(*table, c.file, prompter);
    std::set<int> inUse;
    for (int id = 0; id <= kMaxTaskId; ++id)
      if (table->InUse(id)) inUse.insert(id);
    EXPECT_EQ(inUse, c.inUse);
    std::vector<std::string> expectedMessages;
    for (int id : c.errored) {
      EXPECT_TRUE(HoldsText(table->PreviousOccurrence[id], kErrorMarker)) << id;
      EXPECT_TRUE(HoldsText(table->NextOccurrence[id], kErrorMarker)) << id;
      expectedMessages.push_back("Error for task: " + table->TaskText[id]);
    }
    for (int id : c.inUse) {
      if (c.errored.count(id) == 0) {
        EXPECT_EQ(table->NextOccurrence[id], Occurrence(At(2024, 1, 2, 5))) << id;
      }
    }
    EXPECT_EQ(test::Texts(prompter), expectedMessages);
    for (const auto& q : prompter.asked) {
      EXPECT_EQ(q.title, kAppTitle);
      EXPECT_EQ(q.buttons, Buttons::Ok);
    }
  }
}

TEST(LoadDamaged, FieldsBeforeTheBrokenLineKeepTheFilesValues) {
  auto table = MakeTaskTable();
  table->WeekdayMask[1][3] = 5;
  test::ScriptedPrompter prompter;
  LoadDataBytes(
      *table,
      File({"*****", " 1 ", "one", "2024-01-02-03\t\t", "0,6,1,1,2024", MaskLine({4}), "*****"}),
      prompter);
  EXPECT_EQ(test::Texts(prompter), std::vector<std::string>{"Error for task: one"});
  EXPECT_EQ(table->CheckedDate[1], At(2024, 1, 2, 3));
  EXPECT_EQ(table->EveryNDays[1], 6);
  EXPECT_EQ(table->HourMask[1][4], 1);
  EXPECT_EQ(table->WeekdayMask[1][3], 5);  // after the break: what the slot held
}

TEST(LoadDamaged, MarkerLikeTextsAreReadAsText) {
  auto table = MakeTaskTable();
  test::ScriptedPrompter prompter;
  LoadDataBytes(*table,
                File({"*****", Record(" 1 ", "*****"), "*****", Record(" 2 ", "*** end"), "*****",
                      Record(" 3 ", "****"), "*** end"}),
                prompter);
  EXPECT_EQ(table->TaskText[1], "*****");
  EXPECT_EQ(table->TaskText[2], "*** end");
  EXPECT_EQ(table->TaskText[3], "****");
  EXPECT_EQ(table->EveryNDays[2], 2);
  // The oldest format's own separator is marker-like there.
  table = MakeTaskTable();
  LoadDataBytes(*table,
                File({"***", " 4 ", "***", "1/2/2024\t\t", "0", "0", "0", "0", "0", "*** end"}),
                prompter);
  EXPECT_EQ(table->TaskText[4], "***");
  EXPECT_EQ(table->CheckedDate[4], At(2024, 1, 2));
  EXPECT_TRUE(prompter.asked.empty());
}

TEST(LoadDamaged, LaterRecordOverwritesAndUnreadableFieldsKeepTheirValue) {
  auto table = MakeTaskTable();
  test::ScriptedPrompter prompter;
  LoadDataBytes(*table,
                File({"*****", Record(" 1 ", "first"), "*****", " 1 ", "second",
                      "bad\tok\t2024-13-01-25", "x,,3.5,+4, 2024 ", "1", "", "0", "0", "*** end"}),
                prompter);
  EXPECT_TRUE(prompter.asked.empty());
  EXPECT_EQ(table->TaskText[1], "second");
  EXPECT_EQ(table->CheckedDate[1], At(2024, 1, 2, 3));                     // "bad"
  EXPECT_EQ(table->PreviousOccurrence[1], Occurrence(At(2024, 1, 2, 4)));  // "ok"
  EXPECT_EQ(table->NextOccurrence[1], Occurrence(At(2025, 1, 2, 1)));      // rolled over
  EXPECT_EQ(table->TaskChecked[1], -1);                                    // "x"
  EXPECT_EQ(table->EveryNDays[1], 2);                                      // ""
  EXPECT_EQ(table->StartDay[1], 4);                                        // 3.5, half to even
  EXPECT_EQ(table->StartMonth[1], 4);
  EXPECT_EQ(table->StartYear[1], 2024);
  EXPECT_EQ(table->HourMask[1][0], 1);
  EXPECT_EQ(table->HourMask[1][1], 1);     // only entry 0 was given
  EXPECT_EQ(table->WeekdayMask[1][1], 1);  // an empty line converts nothing
}

TEST(LoadDamaged, MaskLinesOfTwentyFourAndFortyValues) {
  auto table = MakeTaskTable();
  table->HourMask[5].Fill(7);
  table->MonthMask[5].Fill(7);
  std::string forty;
  for (int k = 0; k < 40; ++k) forty += (k ? "," : "") + std::to_string(k < 31 ? k % 3 : 9);
  test::ScriptedPrompter prompter;
  LoadDataBytes(*table,
                File({"*****", " 5 ", "masks", "2024-01-01-00\t\t", "0", MaskLine({0, 23}, 24), "0",
                      "0,1.5,2.5,70000,a,-0", forty, "*** end"}),
                prompter);
  for (int k = 0; k < kMaskSize; ++k) {
    EXPECT_EQ(table->HourMask[5][k], k == 0 || k == 23 ? 1 : k < 24 ? 0 : 7) << k;
    EXPECT_EQ(table->MonthMask[5][k], k % 3) << k;
  }
  const int16_t expectedDays[] = {0, 2, 2, 0, 0, 0};  // 70000 and "a" keep the 0 they had
  for (int k = 0; k < 6; ++k) EXPECT_EQ(table->DayOfMonthMask[5][k], expectedDays[k]) << k;
  table->DayOfMonthMask[6].Fill(7);
  LoadDataBytes(*table, File({"*****", " 6 ", "x", "\t\t", "0", "0", "0", "1,70000,a", "0"}),
                prompter);
  EXPECT_EQ(table->DayOfMonthMask[6][0], 1);
  EXPECT_EQ(table->DayOfMonthMask[6][1], 7);
  EXPECT_EQ(table->DayOfMonthMask[6][2], 7);
}

TEST(LoadDamaged, ShortDateLinesAndTheOldestFormatsEmptyTexts) {
  auto table = MakeTaskTable();
  table->PreviousOccurrence[1] = std::string("prior");
  test::ScriptedPrompter prompter;
  LoadDataBytes(*table,
                File({"****", " 1 ", "x", "2024-02-03-04", "1", "0", "0", "0", "0", "*** end"}),
                prompter);
  EXPECT_EQ(table->CheckedDate[1], At(2024, 2, 3, 4));
  EXPECT_TRUE(HoldsText(table->PreviousOccurrence[1], "prior"));
  EXPECT_EQ(table->TaskChecked[1], 1);

  LoadDataBytes(
      *table,
      File({"***", " 2 ", "y", "garbage\t\tnot a date\textra", "0", "0", "0", "0", "0", "*** end"}),
      prompter);
  EXPECT_EQ(table->CheckedDate[2], DateTime());
  EXPECT_TRUE(HoldsText(table->PreviousOccurrence[2], ""));
  EXPECT_TRUE(HoldsText(table->NextOccurrence[2], "not a date"));
  EXPECT_TRUE(prompter.asked.empty());
}

}  // namespace
}  // namespace zelto

namespace zelto {
namespace {

// The loader reads the shapes the program writes by shortcuts; on lines that
// come close to those shapes it must agree with the general field rules.
TEST(LoadFastPaths, AgreeWithTheGeneralRulesOnNearMisses) {
  std::mt19937 random(7);
  auto pick = [&](std::string_view from) { return from[random() % from.size()]; };
  const std::string plainMask = MaskLine({0, 5, 30});
  auto table = MakeTaskTable();  // only slot 1 is written, and reset each round
  for (int round = 0; round < 3000; ++round) {
    std::string mask = plainMask;
    for (int n = random() % 3; n > 0; --n) mask[random() % mask.size()] = pick("0123456789,/:-. a");
    std::string date = "2024-02-29-23";
    for (int n = random() % 3; n > 0; --n) date[random() % date.size()] = pick("0123456789-/: ");

    std::string number;
    for (int n = 1 + random() % 7; n > 0; --n) number += pick(" -+0123456789.e\t");
    table->TaskChecked[1] = 7;
    table->HourMask[1].Fill(7);
    table->PreviousOccurrence[1] = std::string("prior");
    test::ScriptedPrompter prompter;
    LoadDataBytes(
        *table,
        File({"*****", " 1 ", "t", "\t" + date + "\t", number, mask, "0", "0", "0", "*** end"}),
        prompter);

    Mask expected;
    expected.Fill(7);
    std::size_t start = 0;
    for (int k = 0; k < kMaskSize && start <= mask.size(); ++k) {
      std::size_t end = mask.find(',', start);
      if (end == std::string::npos) end = mask.size();
      if (const auto value = ParseInt16(std::string_view(mask).substr(start, end - start)))
        expected[k] = *value;
      start = end + 1;
    }
    for (int k = 0; k < kMaskSize; ++k) ASSERT_EQ(table->HourMask[1][k], expected[k]) << mask;
    ASSERT_EQ(table->TaskChecked[1], ParseInt16(number).value_or(7)) << number;
    const auto parsed = ParseFileDate(date);
    ASSERT_EQ(table->PreviousOccurrence[1],
              parsed ? Occurrence(*parsed) : Occurrence(std::string("prior")))
        << date;
  }
}

}  // namespace
}  // namespace zelto
