#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <random>

#include "store/convert.h"
#include "store/filebytes.h"
#include "store_test_util.h"

namespace zelto {
namespace {

using test::At;
using test::Lines;
using test::MaskLine;

// Each format is read through content.txt; parts of its save in the newest one.
TEST(LoadFormats, EachFormatLoadsAndSavesInTheNewest) {
  const std::string v3 = test::ReadFileBytes(test::StoreData("v3.txt"));
  const std::size_t second = v3.find("*****", 5), end = v3.rfind("*** end");
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      {"v3.txt", {v3.substr(second, end - second) + v3.substr(0, second) + "*** end\r\n"}},
      {"v2.txt",
       {Lines({" 7 ", "Water the plants", "1899-12-30-00\t2024-03-04-18\t2024-03-07-18",
               "0,0,0,0,0", MaskLine({18}), MaskLine({0, 1, 2, 3, 4, 5, 6})}),
        Lines({" 3 ", "Pay the rent", "2024-03-01-09\tMore than 1 year\t2024-04-01-09",
               "-1,0,0,0,0"}),
        // Line 4 is one number: the newest layout's five values do not convert.
        Lines({" 4 ", "Read line four as one number", "2024-03-01-09\t2024-03-01-09\t2024-03-02-09",
               "0,0,0,0,0"})}},
      {"v1.txt",
       {Lines({" 7 ", "Water the plants", "2024-03-05-18\t2024-03-04-18\t2024-03-07-18",
               "-1,0,0,0,0", MaskLine({18})}),
        Lines({" 8 ", "Caf\xe9 au lait", "2024-03-05-14\tMore than 1 year\t2024-03-07-18",
               "0,0,0,0,0", MaskLine({9}), MaskLine({2}), MaskLine({1})})}},
  };
  for (const auto& [file, parts] : cases) {
    SCOPED_TRACE(file);
    test::TempFolder folder;
    std::filesystem::copy_file(test::StoreData(file), folder / kContentFile);
    auto table = MakeTaskTable();
    const LoadResult result = LoadDataFile(*table, folder.path());
    ASSERT_TRUE(result.Read());
    EXPECT_TRUE(result.cutShortTasks.empty());
    const std::string saved = FormatDataFile(*table);
    for (const std::string& part : parts) EXPECT_NE(saved.find(part), std::string::npos) << part;
  }
}

// A well-formed record with the given id and text, without its closing line.
std::string Record(std::string_view id, std::string_view text) {
  const std::string mask = MaskLine({1});
  return Lines({id, text, "2024-01-02-03\t2024-01-02-04\t2024-01-02-05", "-1,2,3,4,2024", mask,
                mask, mask, mask});
}

std::string CrOnly(std::string text) {
  for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at + 1, 1);
  return text;
}

// The slots in use as "id:text", "!" after a cut-short one.
std::string Loaded(const TaskTable& table) {
  std::string loaded;
  for (int id = 0; id <= kMaxTaskId; ++id) {
    if (!table.InUse(id)) continue;
    loaded +=
        (loaded.empty() ? "" : " ") + std::to_string(id) + ":" + std::string(table.TaskText[id]);
    if (HoldsText(table.NextOccurrence[id], kErrorMarker)) loaded += "!";
  }
  return loaded;
}

// What stands in content.txt's place decides whether the list may be saved
// over it without asking; only a missing file goes unmentioned.
TEST(LoadDataFile, AnythingButADataFileIsReportedAndNothingHangsOrAborts) {
  struct Case {
    const char* name;
    std::function<void(const std::filesystem::path&)> make;
    LoadProblem problem;
    const char* reason;  // in the message; null: no message
  };
  const auto link = [](const char* target) {
    return [target](const std::filesystem::path& file) {
      std::filesystem::create_symlink(target, file);
    };
  };
  const Case cases[] = {
      {"missing", [](const auto&) {}, LoadProblem::Missing, nullptr},
      {"link to nothing", link("/nonexistent/content.txt"), LoadProblem::Missing, nullptr},
      {"empty", [](const auto& file) { test::WriteFileBytes(file, ""); }, LoadProblem::None,
       nullptr},
      {"a folder", [](const auto& file) { std::filesystem::create_directory(file); },
       LoadProblem::Folder, "(it is a folder)"},
      {"a pipe", [](const auto& file) { ASSERT_EQ(mkfifo(file.c_str(), 0666), 0); },
       LoadProblem::NotAFile, "(it is a device, a pipe or a socket, not a file)"},
      {"link to /dev/zero", link("/dev/zero"), LoadProblem::NotAFile, "a device"},
      {"one byte over the limit",
       [](const auto& file) {
         test::WriteFileBytes(file, "");
         std::filesystem::resize_file(file, kMaxFileBytes + 1);
       },
       LoadProblem::TooLarge, "(it is larger than 64 MiB)"},
      {"a read error", link("/proc/self/mem"), LoadProblem::Failed, "(Input/output error)"},
      {"notes", [](const auto& file) { test::WriteFileBytes(file, "Buy milk\n"); },
       LoadProblem::NotADataFile, "(its first line is not ***, **** or *****)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempFolder folder;
    c.make(folder / kContentFile);
    auto table = MakeTaskTable();
    const LoadResult result = LoadDataFile(*table, folder.path());
    EXPECT_EQ(result.problem, c.problem);
    EXPECT_EQ(result.Read(), c.problem == LoadProblem::None);
    EXPECT_EQ(Loaded(*table), "");
    const auto messages = LoadMessages(result, folder.path());
    if (!c.reason) {
      EXPECT_TRUE(messages.empty());
      continue;
    }
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].starts_with("The data file " + (folder / kContentFile).string() +
                                        " could not be loaded ("))
        << messages[0];
    EXPECT_NE(messages[0].find(c.reason), std::string::npos) << messages[0];
  }
}

// A file bigger than the memory left is refused, and so is one whose tasks
// do not fit, with the table left empty: never an abort. The address space
// is capped in a child process, which a sanitizer's shadow memory rules out.
// The files are made sparse, so that the test process itself never holds
// freed memory that the capped loader could reuse.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
TEST(LoadDataFileDeathTest, RunningOutOfMemoryIsAProblemNotAnAbort) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  constexpr std::size_t kSize = 24 << 20;
  // What the capped process may take beyond what it holds: less than the
  // file when reading, room for the file's bytes but not for its task's
  // text when loading. The text, a 24 MiB line of zero bytes, is cut short.
  const std::pair<const char*, std::size_t> cases[] = {{"reading", 0}, {"loading", kSize}};
  for (const auto& [name, room] : cases) {
    SCOPED_TRACE(name);
    test::TempFolder folder;
    test::WriteFileBytes(folder / kContentFile, "*****\r\n 1 \r\n");
    std::filesystem::resize_file(folder / kContentFile, kSize);
    auto table = MakeTaskTable();
    const auto loadCapped = [&, room = room] {
      std::ifstream statm("/proc/self/statm");
      std::size_t pages = 0;
      statm >> pages;
      const rlim_t cap = pages * static_cast<std::size_t>(sysconf(_SC_PAGESIZE)) + room + (4 << 20);
      const struct rlimit limit = {cap, cap};
      setrlimit(RLIMIT_AS, &limit);
      const LoadResult result = LoadDataFile(*table, folder.path());
      std::exit(result.problem == LoadProblem::OutOfMemory && !table->InUse(1) ? 0 : 1);
    };
    EXPECT_EXIT(loadCapped(), testing::ExitedWithCode(0), "");
  }
}
#endif

// A damaged record costs that record alone; what does not start like a data
// file is refused whole.
TEST(LoadDataBytes, ReadsWhatItCanAndRefusesWhatIsNoDataFile) {
  const std::string S = "*****", E = "*** end", one = Record(" 1 ", "one"),
                    two = Record(" 2 ", "two"), bom = "\xEF\xBB\xBF",
                    date = "2024-01-02-03\t2024-01-02-04\t2024-01-02-05";
  struct Case {
    const char* name;
    std::string file;
    const char* loaded;  // "id:text" in use, "!" after a cut-short one; null: refused
  };
  const Case cases[] = {
      {"byte order mark", bom + Lines({S, two, E}), "2:two"},
      {"byte order mark alone", bom, ""},
      {"CR alone ends the lines", CrOnly(Lines({S, one, S, two, E})), "1:one 2:two"},
      {"CR alone, cut short", CrOnly(Lines({S, " 1 ", "one", "x", S, two, E})), "1:one! 2:two"},
      {"a CR inside a CR LF file stays in the text", Lines({S, Record(" 1 ", "a\rb"), E}),
       "1:a\rb"},
      {"blanks and TABs after every marker", Lines({S + " \t ", one, S + "\t", two, E + "  "}),
       "1:one 2:two"},
      {"a TAB after the cut-short marker", Lines({S, " 1 ", "one", "x", S + "\t", two, E}),
       "1:one! 2:two"},
      {"empty file", "", ""},
      {"empty first line", Lines({"", S, two, E}), nullptr},
      {"blank before the marker", Lines({" *****", two, E}), nullptr},
      {"marker and more", Lines({"*****x", two, E}), nullptr},
      {"a byte order mark twice", bom + bom + Lines({S, two, E}), nullptr},
      {"binary", std::string("\0\x01\xff*****\r\n", 9), nullptr},
      {"only the terminator", Lines({E}), ""},
      {"cut after line 3", Lines({S, " 1 ", "one", date, S, two, E}), "1:one! 2:two"},
      {"eof after line 3", Lines({S, " 1 ", "one", date}), "1:one!"},
      {"terminator for line 5", Lines({S, " 1 ", "one", date, "0", E, two, E}), "1:one! 2:two"},
      {"surplus lines", Lines({S, Record(" 1 ", "one"), "x", "y", S, two, E}), "1:one! 2:two"},
      {"no closing line", Lines({S, two}), "2:two!"},
      {"one non-marker line ends the file", Lines({S, two, "trailing"}), "2:two"},
      {"eof for the text line", Lines({S, two, S, " 1 "}), "2:two"},
      {"separator for the id line", Lines({S, S, two, E}), "2:two"},
      {"terminator for the id line", Lines({S, E, two, E}), "2:two"},
      {"cut after the id line", Lines({S, " 1 ", S, two, E}), "2:two"},
      {"terminator for the text line", Lines({S, " 1 ", E, two, E}), "2:two"},
      {"id 12000 cut short: no error marker", Lines({S, " 12000 ", "big", date, S, two, E}),
       "2:two"},
      {"ids -1, 10001 and a text",
       Lines({S, Record("-1", "a"), S, Record("10001", "b"), S, Record("x", "c"), S, two, E}),
       "2:two"},
      {"id with blanks and a fraction", Lines({S, Record("  9.5\t", "nine"), E}), "10:nine"},
      {"ids 0 and 10000", Lines({S, Record(" 10000 ", "z"), S, Record(" 0 ", "a"), E}),
       "0:a 10000:z"},
      {"empty text: slot stays free", Lines({S, Record(" 1 ", ""), S, two, E}), "2:two"},
      {"a second terminator is never reached", Lines({S, two, E, Record(" 3 ", "3"), E}), "2:two"},
      {"LF line ends",
       Lines({S, " 1 ", "one", date, S, " 2 ", "two", date, "0", "0", "0", "0", "0", E}, "\n"),
       "1:one! 2:two"},
      {"marker-like texts before their date line",
       Lines({S, Record(" 1 ", S), S, Record(" 2 ", E), S, Record(" 3 ", "****"), E}),
       "1:***** 2:*** end 3:****"},
      {"the oldest separator as a text",
       Lines({"***", " 4 ", "***", "1/2/2024\t\t2024-01-02 05:00", "0", "0", "0", "0", "0", E}),
       "4:***"},
      {"marker-like text at the end", Lines({S, two, S, " 1 ", S}), "2:two"},
      {"marker text before a line with one TAB", Lines({S, " 1 ", S, "x\ty", S, two, E}), "2:two"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto table = MakeTaskTable();
    const LoadResult result = LoadDataBytes(*table, c.file);
    EXPECT_EQ(result.problem, c.loaded ? LoadProblem::None : LoadProblem::NotADataFile);
    EXPECT_EQ(Loaded(*table), c.loaded ? c.loaded : "");
    if (!c.loaded) continue;
    std::vector<std::string> messages;
    for (int id = 0; id <= kMaxTaskId; ++id) {
      if (!table->InUse(id)) continue;
      if (HoldsText(table->PreviousOccurrence[id], kErrorMarker)) {
        messages.push_back("Error for task: " + std::string(table->TaskText[id]));
      } else {  // the whole record was read
        EXPECT_EQ(OccurrenceAsDate(table->NextOccurrence[id]), At(2024, 1, 2, 5)) << id;
      }
    }
    // Records without a slot are told of apart (below).
    std::vector<std::string> errors = LoadMessages(result, "/f");
    std::erase_if(errors, [](const std::string& m) { return !m.starts_with("Error for task: "); });
    EXPECT_EQ(errors, messages);
  }
}

TEST(LoadDamaged, LaterRecordsOverwriteAndUnreadableFieldsKeepTheirValue) {
  auto table = MakeTaskTable();
  table->PreviousOccurrence[3] = std::string("prior");
  table->WeekdayMask[6][3] = 5;
  for (MaskColumn::Ref mask : {table->HourMask[5], table->DayOfMonthMask[5], table->MonthMask[5]})
    mask.Fill(7);
  std::string forty;  // 0,1,2,0,1,2,... then nine surplus values
  for (int k = 0; k < 40; ++k) forty += (k ? "," : "") + std::to_string(k < 31 ? k % 3 : 9);
  const std::string file =
      Lines({"*****", Record(" 1 ", "first"), "*****"}) +
      Lines({" 1 ", "second", "bad\tok\t2024-13-01-25", "x,,3.5,+4, 2024 ", "1", "", "0", "0"}) +
      Lines({"*****", " 3 ", "x", "2024-02-03-04", "1,", "0", "0", "0", "0", "*****"}) +
      Lines({" 5 ", "masks", "\t\t", "0", MaskLine({0, 23}, 24), "0", "0,1.5,2.5,70000,a,-0"}) +
      Lines({forty, "*****"}) +
      Lines({" 6 ", "cut", "2024-01-02-03\t\t", "0,6,1,1,2024", MaskLine({4}), "*** end"});
  const LoadResult result = LoadDataBytes(*table, file);
  EXPECT_EQ(table->TaskText[1], "second");
  EXPECT_EQ(table->CheckedDate[1], At(2024, 1, 2, 3));                     // "bad"
  EXPECT_EQ(table->PreviousOccurrence[1], Occurrence(At(2024, 1, 2, 4)));  // "ok"
  EXPECT_EQ(table->NextOccurrence[1], Occurrence(At(2025, 1, 2, 1)));      // rolled over
  EXPECT_EQ(table->TaskChecked[1], -1);                                    // "x"
  EXPECT_EQ(table->EveryNDays[1], 2);                                      // ""
  EXPECT_EQ(table->StartDay[1], 4);                                        // 3.5, half to even
  EXPECT_EQ(table->StartMonth[1], 4);
  EXPECT_EQ(table->StartYear[1], 2024);
  EXPECT_EQ(table->HourMask[1][1], 1);     // only entry 0 was given
  EXPECT_EQ(table->WeekdayMask[1][1], 1);  // an empty line converts nothing
  // A date line without TABs sets the checked date alone.
  EXPECT_EQ(table->CheckedDate[3], At(2024, 2, 3, 4));
  EXPECT_TRUE(HoldsText(table->PreviousOccurrence[3], "prior"));
  EXPECT_EQ(table->TaskChecked[3], 1);
  // A cut-short record keeps the fields read before the break.
  EXPECT_EQ(result.cutShortTasks, std::vector<std::string>{"cut"});
  EXPECT_EQ(table->CheckedDate[6], At(2024, 1, 2, 3));
  EXPECT_EQ(table->EveryNDays[6], 6);
  EXPECT_EQ(table->HourMask[6][4], 1);
  EXPECT_EQ(table->WeekdayMask[6][3], 5);
  // Mask lines of 24 and of 40 values; values that do not convert keep theirs.
  const int16_t days[] = {0, 2, 2, 7, 7, 0, 7};
  for (int k = 0; k < kMaskSize; ++k) {
    EXPECT_EQ(table->HourMask[5][k], k == 0 || k == 23 ? 1 : k < 24 ? 0 : 7) << k;
    EXPECT_EQ(table->MonthMask[5][k], k % 3) << k;
    EXPECT_EQ(table->DayOfMonthMask[5][k], days[std::min(k, 6)]) << k;
  }
  // The oldest format keeps occurrence texts that are not dates, empty ones too.
  LoadDataBytes(*table, Lines({"***", " 2 ", "y", "garbage\t\tnot a date\textra", "0", "0", "0",
                               "0", "0", "*** end"}));
  EXPECT_EQ(table->CheckedDate[2], DateTime());
  EXPECT_TRUE(HoldsText(table->PreviousOccurrence[2], ""));
  EXPECT_TRUE(HoldsText(table->NextOccurrence[2], "not a date"));
}

// The loader reads the shapes the program writes by shortcuts; on lines that
// come close to those shapes it must agree with the general field rules.
// A record whose id names no slot stores nothing, but a save would then
// drop the task unseen: its text is reported, once for all such records,
// and the quick path for whole records leaves them to the general rules.
TEST(LoadDamaged, RecordsWithoutASlotAreNamed) {
  const std::string file = Lines({"*****", Record(" 2x ", "two"), "*****", Record(" -1 ", "minus"),
                                  "*****", Record(" 3 ", "three"), "*****",
                                  Record(" 10001 ", "beyond"), "*****", Record("", "none")}) +
                           "*** end\r\n";
  auto table = MakeTaskTable();
  const LoadResult result = LoadDataBytes(*table, file);
  EXPECT_TRUE(result.Read());
  EXPECT_EQ(Loaded(*table), "3:three");
  EXPECT_EQ(result.unplacedTasks, (std::vector<std::string>{"two", "minus", "beyond", "none"}));
  EXPECT_EQ(LoadMessages(result, "/f"),
            std::vector<std::string>{"4 tasks in the data file could not be loaded: their IDs are "
                                     "not numbers from 0 to 10000. The first is \"two\"."});
  const LoadResult one = LoadDataBytes(*table, Lines({"*****", Record(" x ", "Caf\xe9")}));
  EXPECT_EQ(LoadMessages(one, "/f"),
            std::vector<std::string>{"The task \"Caf\xe9\" in the data file could not be loaded: "
                                     "its ID is not a number from 0 to 10000."});
}

TEST(LoadFastPaths, AgreeWithTheGeneralRulesOnNearMisses) {
  std::mt19937 random(7);
  auto pick = [&](std::string_view from) { return from[random() % from.size()]; };
  auto table = MakeTaskTable();
  for (int round = 0; round < 3000; ++round) {
    std::string mask = MaskLine({0, 5, 30}), date = "2024-02-29-23", number;
    for (int n = random() % 3; n > 0; --n) mask[random() % mask.size()] = pick("0123456789,/:-. a");
    for (int n = random() % 3; n > 0; --n) date[random() % date.size()] = pick("0123456789-/: ");
    for (int n = 1 + random() % 7; n > 0; --n) number += pick(" -+0123456789.e\t");
    table->TaskChecked[1] = 7;
    table->HourMask[1].Fill(7);
    table->PreviousOccurrence[1] = std::string("prior");
    LoadDataBytes(*table, Lines({"*****", " 1 ", "t", "\t" + date + "\t", number, mask, "0", "0",
                                 "0", "*** end"}));
    std::size_t start = 0;
    for (int k = 0; k < kMaskSize; ++k) {
      const std::size_t end = std::min(mask.find(',', start), mask.size());
      const auto value =
          start <= mask.size() ? ParseInt16(mask.substr(start, end - start)) : std::nullopt;
      ASSERT_EQ(table->HourMask[1][k], value.value_or(7)) << mask;
      start = end + 1;
    }
    ASSERT_EQ(table->TaskChecked[1], ParseInt16(number).value_or(7)) << number;
    const auto parsed = ParseFileDate(date);
    ASSERT_EQ(table->PreviousOccurrence[1], parsed ? Occurrence(*parsed) : Occurrence("prior"))
        << date;
  }
}

// Whole records in the shape the program writes are read by a shortcut that
// only CR LF line ends take. The same file with LF alone holds the same
// lines (one CR before an LF belongs to the line end) and goes the general
// way, so the two loads of a damaged file must agree in every field. Only a
// line that ends in CR itself would read differently, so such files are
// left out.
TEST(LoadFastPaths, WholeRecordsReadAsTheGeneralRulesReadThem) {
  std::mt19937 random(11);
  auto number = [&](int below) {
    return static_cast<int>(random() % static_cast<unsigned>(below));
  };
  auto twoDigits = [](int value) {
    return std::string(value < 10 ? "0" : "") + std::to_string(value);
  };
  // Every year a plain date can hold, month ends and leap days among them.
  auto date = [&] {
    const int year = number(10000), month = 1 + number(12), day = 1 + number(31);
    return std::string(4 - std::to_string(year).size(), '0') + std::to_string(year) + "-" +
           twoDigits(month) + "-" + twoDigits(day) + "-" + twoDigits(number(24));
  };
  auto occurrence = [&] {
    const int kind = number(8);
    return kind == 0   ? std::string(kMoreThanOneYear)
           : kind == 1 ? std::string(kErrorMarker)
                       : date();
  };
  auto mask = [&] {
    std::string line;
    for (int k = 0; k < kMaskSize; ++k)
      line += (k ? "," : "") + std::to_string(number(3) ? number(2) : number(10));
    return line;
  };
  auto Same = [](const TaskTable& a, const TaskTable& b, int id) {
    for (const auto column : {&TaskTable::HourMask, &TaskTable::WeekdayMask,
                              &TaskTable::DayOfMonthMask, &TaskTable::MonthMask})
      for (int k = 0; k < kMaskSize; ++k)
        if ((a.*column)[id][k] != (b.*column)[id][k]) return false;
    return a.TaskText[id] == b.TaskText[id] && a.CheckedDate[id] == b.CheckedDate[id] &&
           a.PreviousOccurrence[id] == b.PreviousOccurrence[id] &&
           a.NextOccurrence[id] == b.NextOccurrence[id] && a.TaskChecked[id] == b.TaskChecked[id] &&
           a.EveryNDays[id] == b.EveryNDays[id] && a.StartDay[id] == b.StartDay[id] &&
           a.StartMonth[id] == b.StartMonth[id] && a.StartYear[id] == b.StartYear[id];
  };
  // Both tables see the same files in turn, so what a damaged field keeps
  // from an earlier round is compared too.
  auto crlf = MakeTaskTable(), lf = MakeTaskTable();
  const std::string_view damage = "0123456789/:,-+.\t *ea\r\n";
  for (int round = 0; round < 4000; ++round) {
    std::string file = "*****\r\n";
    for (int records = 1 + number(4); records > 0; --records) {
      const int id = number(6);  // repeats overwrite
      file += Lines(
          {" " + std::to_string(id) + " ", "task " + std::to_string(round),
           date() + "\t" + occurrence() + "\t" + occurrence(),
           std::to_string(-number(2)) + "," +
               (number(2) ? "0,0,0,0"
                          : std::to_string(number(40)) + "," + std::to_string(number(32)) + "," +
                                std::to_string(number(13)) + "," + std::to_string(number(10000))),
           mask(), mask(), mask(), mask(), records > 1 ? "*****" : "*** end"});
    }
    for (int n = number(4); n > 0; --n) {
      const std::size_t at = 7 + random() % (file.size() - 7);
      if (number(8) == 0)
        file.erase(at, 1);
      else
        file[at] = damage[random() % damage.size()];
    }
    if (file.find("\r\r\n") != std::string::npos) continue;
    std::string lfOnly = file;
    for (std::size_t at; (at = lfOnly.find("\r\n")) != std::string::npos;) lfOnly.erase(at, 1);
    SCOPED_TRACE(file);
    const LoadResult viaShortcut = LoadDataBytes(*crlf, file);
    const LoadResult general = LoadDataBytes(*lf, lfOnly);
    ASSERT_EQ(viaShortcut.cutShortTasks, general.cutShortTasks);
    for (int id = 0; id < 6; ++id) ASSERT_TRUE(Same(*crlf, *lf, id)) << id;
  }

  // The shortcut's calendar against the general one, for every year.
  std::string file = "*****\r\n";
  std::vector<std::string> fields;
  for (int year = 0; year <= 9999; ++year) {
    const std::string checked = date();
    fields.push_back(checked.substr(4));
    fields.back().insert(0,
                         std::string(4 - std::to_string(year).size(), '0') + std::to_string(year));
    file +=
        Lines({" " + std::to_string(year) + " ", "t", fields.back() + "\t" + date() + "\t" + date(),
               "0,0,0,0,0", mask(), mask(), mask(), mask(), "*****"});
  }
  file += "*** end\r\n";
  LoadDataBytes(*crlf, file);
  for (int year = 0; year <= 9999; ++year) {
    const auto expected = ParseFileDate(fields[static_cast<std::size_t>(year)]);
    if (expected) {
      ASSERT_EQ(crlf->CheckedDate[year], *expected) << fields[static_cast<std::size_t>(year)];
    }
  }
}

// Every input the loader fuzzer keeps (every one that once broke it among
// them) must load, and the program's own save of the result must reload
// without a record error and save again unchanged.
TEST(FuzzCorpus, EveryInputLoadsAndItsSaveIsStable) {
  auto LoadAndFormat = [](std::string_view bytes, LoadResult& result) {
    auto table = MakeTaskTable();
    result = LoadDataBytes(*table, bytes);
    return FormatDataFile(*table);
  };
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(
           std::filesystem::path(ZELTO_TEST_DATA_DIR) / ".." / ".." / "fuzz" / "corpus")) {
    ++files;
    SCOPED_TRACE(entry.path().filename().string());
    const std::string input = test::ReadFileBytes(entry.path());
    LoadResult anything, again;
    const std::string first = LoadAndFormat(input, anything);
    const std::string second = LoadAndFormat(first, again);
    EXPECT_TRUE(again.Read());
    EXPECT_TRUE(again.cutShortTasks.empty());
    // The oldest format keeps occurrence texts that the first save converts.
    std::string_view start = input;
    if (start.starts_with("\xEF\xBB\xBF")) start.remove_prefix(3);
    start = start.substr(0, start.find_first_of("\r\n"));
    if (start.substr(0, start.find_last_not_of(" \t") + 1) != "***") {
      EXPECT_EQ(second, first);
    }
    EXPECT_EQ(LoadAndFormat(second, again), second);
  }
  EXPECT_GE(files, 9);
}

}  // namespace
}  // namespace zelto
