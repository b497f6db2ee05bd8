#include <gtest/gtest.h>

#include <filesystem>

#include "store/datafile.h"
#include "store_test_util.h"
#include "support/core/fakes.h"

namespace zelto {
namespace {

std::string LoadAndFormat(std::string_view bytes, test::ScriptedPrompter& prompter) {
  auto table = MakeTaskTable();
  LoadDataBytes(*table, bytes, prompter);
  return FormatDataFile(*table);
}

// Every input the loader fuzzer keeps (every one that once broke it among
// them) must load, and the program's own save of the result must reload
// without a record error and save again unchanged.
TEST(FuzzCorpus, EveryInputLoadsAndItsSaveIsStable) {
  const auto corpus = std::filesystem::path(ZELTO_TEST_DATA_DIR) / ".." / ".." / "fuzz" / "corpus";
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    if (!entry.is_regular_file()) continue;
    ++files;
    SCOPED_TRACE(entry.path().filename().string());
    const std::string input = test::ReadFileBytes(entry.path());
    test::ScriptedPrompter anything;
    const std::string first = LoadAndFormat(input, anything);
    test::ScriptedPrompter none;
    const std::string second = LoadAndFormat(first, none);
    const std::string third = LoadAndFormat(second, none);
    EXPECT_TRUE(none.asked.empty());
    if (!input.starts_with("***\n") && !input.starts_with("***\r")) {
      EXPECT_EQ(second, first);
    }
    EXPECT_EQ(third, second);
  }
  EXPECT_GE(files, 9);
}

}  // namespace
}  // namespace zelto
