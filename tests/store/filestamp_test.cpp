// Telling another program's version of the data file from the one last
// loaded or saved, and the save that refuses to replace a version it did
// not see.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "store/filestamp.h"
#include "store/merge.h"
#include "store_test_util.h"

namespace zelto {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::WriteFileBytes;

const std::string kOld = "*****\r\n*** end\r\n";

// Puts `bytes` in place of `file` the way sync programs and editors do: a
// new file renamed over the old one.
void ReplaceByRename(const fs::path& file, std::string_view bytes) {
  const fs::path fresh = file.parent_path() / ".incoming";
  WriteFileBytes(fresh, bytes);
  fs::rename(fresh, file);
}

FileStamp Known(const fs::path& file) {
  FileRead read = ReadRegularFile(file);
  FileStamp stamp = read.stamp;
  stamp.hash = HashBytes(read.bytes.View());
  return stamp;
}

TEST(FileStamp, TellsAnotherVersionFromATouch) {
  const struct {
    const char* what;
    std::function<void(const fs::path&)> change;
    bool changed;
    ReadProblem problem;
  } cases[] = {
      {"untouched", [](const fs::path&) {}, false, ReadProblem::None},
      {"touched, the same bytes",
       [](const fs::path& f) {
         struct timespec times[2] = {{0, UTIME_NOW}, {12345, 0}};
         ASSERT_EQ(::utimensat(AT_FDCWD, f.c_str(), times, 0), 0);
       },
       false, ReadProblem::None},
      {"the same bytes renamed over it", [](const fs::path& f) { ReplaceByRename(f, kOld); }, false,
       ReadProblem::None},
      {"other bytes of the same size",
       [](const fs::path& f) { ReplaceByRename(f, "***\r\n\r\n*** end\r\n"); }, true,
       ReadProblem::None},
      {"written in place", [](const fs::path& f) { WriteFileBytes(f, kOld + "x"); }, true,
       ReadProblem::None},
      {"removed", [](const fs::path& f) { fs::remove(f); }, true, ReadProblem::Missing},
      {"a folder in its place",
       [](const fs::path& f) {
         fs::remove(f);
         fs::create_directory(f);
       },
       true, ReadProblem::Folder},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempFolder folder;
    const fs::path file = folder / "content.txt";
    WriteFileBytes(file, kOld);
    const FileStamp known = Known(file);
    c.change(file);
    const DiskCheck check = CheckFile(file, known);
    EXPECT_EQ(check.changed, c.changed);
    EXPECT_EQ(check.read.problem, c.problem);
    if (c.changed && c.problem == ReadProblem::None) {
      EXPECT_EQ(check.read.bytes.View(), ReadFileBytes(file));
    }
  }
  test::TempFolder folder;
  EXPECT_FALSE(CheckFile(folder / "content.txt", FileStamp{}).changed) << "missing, and was";
}

// The save is told which version it may replace: a version that another
// program put there meanwhile stays, and the save says so.
TEST(FileStamp, TheSaveReplacesOnlyTheVersionItExpects) {
  for (const bool otherWrote : {false, true}) {
    SCOPED_TRACE(otherWrote);
    test::TempFolder folder;
    const fs::path file = folder / "content.txt";
    WriteFileBytes(file, kOld);
    auto table = MakeTaskTable();
    table->TaskText[1] = "Mine";
    SaveBytes bytes = MakeSaveBytes(*table, "");
    bytes.expected = Known(file);
    const std::string theirs = "*****\r\n 2 \r\nTheirs\r\n";
    if (otherWrote) ReplaceByRename(file, theirs);
    const SaveWriteResult result = WriteSaveFiles(bytes, folder.path());
    EXPECT_EQ(result.changedOnDisk, otherWrote);
    EXPECT_EQ(ReadFileBytes(file), otherWrote ? theirs : std::string(bytes.content.View()));
    EXPECT_EQ(result.written.present, !otherWrote);
    if (!otherWrote) {
      // The stamp of the file this save wrote: the next look finds it unchanged.
      EXPECT_FALSE(CheckFile(file, result.written).changed);
      EXPECT_TRUE(Known(file).SameMetadata(result.written));
      EXPECT_EQ(Known(file).hash, result.written.hash);
    }
    for (const auto& entry : fs::directory_iterator(folder.path()))
      EXPECT_FALSE(entry.path().filename().string().starts_with(".content.txt."))
          << "no sibling left behind";
  }
}

// The version not kept goes beside content.txt under a dated name of its
// own, which no sync program's copy has and no existing file loses.
TEST(FileStamp, AKeptCopyNeverOverwritesAndIsNoConflictCopy) {
  test::TempFolder folder;
  const DateTime now = test::At(2026, 12, 6, 10, 15);
  const fs::path first = WriteKeptCopy(folder.path(), "one", now);
  const fs::path second = WriteKeptCopy(folder.path(), "two", now);
  EXPECT_EQ(first.filename(), "content (kept 2026-12-06 1015).txt");
  EXPECT_NE(second, first);
  EXPECT_EQ(ReadFileBytes(first), "one");
  EXPECT_EQ(ReadFileBytes(second), "two");
  for (const fs::path& copy : {first, second})
    EXPECT_FALSE(IsConflictCopyName(copy.filename().string())) << copy;
  EXPECT_TRUE(WriteKeptCopy(folder / "missing", "x", now).empty());
}

}  // namespace
}  // namespace zelto
