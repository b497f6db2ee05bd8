#include "support/core/fakes.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace zelto::test {

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "zelto-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  // Tests make files read-only to provoke failures; undo that before removal.
  // Never through a link: a test may point one at a device or a file outside.
  for (auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored)) {
    if (entry.is_symlink(ignored)) continue;
    std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
  }
  std::filesystem::remove_all(path_, ignored);
}

std::string ReadFileBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFileBytes(const std::filesystem::path& file, std::string_view bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Record(int id, const std::string& text, const std::string& dates,
                   const std::string& rule, int hour) {
  std::string record =
      "*****\r\n " + std::to_string(id) + " \r\n" + text + "\r\n" + dates + "\r\n" + rule + "\r\n";
  for (int line = 0; line < 4; ++line)
    for (int i = 0; i < 31; ++i)
      record +=
          std::string(i ? "," : "") + (line || i == hour ? "1" : "0") + (i == 30 ? "\r\n" : "");
  return record;
}

DateTime At(int year, int month, int day, int hour, int minute, int second) {
  auto value = DateTime::FromParts(year, month, day, hour, minute, second);
  if (!value) {
    ADD_FAILURE() << "bad test date " << year << "-" << month << "-" << day;
    return DateTime();
  }
  return *value;
}

}  // namespace zelto::test
