// Telling another program's version of the data file from the one last
// loaded or saved, and the save that never replaces a version it did not see.
#include <fcntl.h>
#include <sys/stat.h>

#include <functional>

#include "store/filestamp.h"
#include "store_test_util.h"

namespace zelto {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::WriteFileBytes;

const std::string kOld = "*****\r\n*** end\r\n";

void ReplaceByRename(const fs::path& file, std::string_view bytes) {
  WriteFileBytes(file.parent_path() / ".incoming", bytes);
  fs::rename(file.parent_path() / ".incoming", file);
}

FileStamp Known(const fs::path& file) {
  FileRead read = ReadRegularFile(file);
  read.stamp.hash = HashBytes(read.bytes.View());
  return read.stamp;
}

TEST(FileStamp, TellsAnotherVersionFromATouch) {
  const struct {
    const char* what;
    std::function<void(const fs::path&)> change;
    bool changed;
  } cases[] = {
      {"untouched", [](const fs::path&) {}, false},
      {"touched",
       [](const fs::path& f) {
         struct timespec times[2] = {{0, UTIME_NOW}, {12345, 0}};
         ASSERT_EQ(::utimensat(AT_FDCWD, f.c_str(), times, 0), 0);
       },
       false},
      {"the same bytes renamed over it", [](const fs::path& f) { ReplaceByRename(f, kOld); },
       false},
      {"other bytes of the same size",
       [](const fs::path& f) { ReplaceByRename(f, "***\r\n\r\n*** end\r\n"); }, true},
      {"removed", [](const fs::path& f) { fs::remove(f); }, true},
      {"a folder in its place", [](const fs::path& f) { fs::remove(f), fs::create_directory(f); },
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempFolder folder;
    const fs::path file = folder / "content.txt";
    WriteFileBytes(file, kOld);
    const FileStamp known = Known(file);
    c.change(file);
    EXPECT_EQ(CheckFile(file, known).changed, c.changed);
  }
}

// A version that another program put in place while the save was written
// stays, and the save says so; else the save reports the stamp of its file.
TEST(FileStamp, TheSaveReplacesOnlyTheVersionItExpects) {
  for (const bool otherWrote : {false, true}) {
    SCOPED_TRACE(otherWrote);
    test::TempFolder folder;
    const fs::path file = folder / "content.txt";
    WriteFileBytes(file, kOld);
    SaveBytes bytes = MakeSaveBytes(*MakeTaskTable(), "");
    bytes.expected = Known(file);
    const std::string theirs = "*****\r\n 2 \r\nTheirs\r\n";
    if (otherWrote) ReplaceByRename(file, theirs);
    const SaveWriteResult result = WriteSaveFiles(bytes, folder.path());
    EXPECT_EQ(result.changedOnDisk, otherWrote);
    EXPECT_EQ(ReadFileBytes(file), otherWrote ? theirs : std::string(bytes.content.View()));
    EXPECT_EQ(result.written.present, !otherWrote);
    EXPECT_TRUE(otherWrote || CheckFile(file, result.written).stamp.SameMetadata(result.written));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), {}), 3)
        << "content.txt, content.tmp, position.txt: no sibling left";
  }
}

}  // namespace
}  // namespace zelto
