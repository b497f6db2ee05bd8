#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/datetime.h"
#include "store/filebytes.h"
#include "store/filestamp.h"
#include "store/merge.h"
#include "store/ports.h"
#include "store/tasktable.h"

namespace zelto {

inline constexpr std::string_view kContentFile = "content.txt";
inline constexpr std::string_view kContentTmpFile = "content.tmp";
inline constexpr std::string_view kPositionFile = "position.txt";

enum class LoadProblem {
  None,
  Missing,       // no content.txt: a first start
  Folder,        // a folder stands in its place
  NotAFile,      // a device, a pipe or a socket (or a link to one)
  TooLarge,      // above kMaxFileBytes
  Failed,        // the system refused to open or read it (`error`)
  OutOfMemory,   // the file or its tasks did not fit into memory
  NotADataFile,  // not empty, and its first line is no marker
};

// What a load found. The table holds the tasks only when the file was read;
// a file that was not read must not be overwritten without asking.
struct LoadResult {
  LoadProblem problem = LoadProblem::None;
  int error = 0;  // errno for Failed
  // The text of every task whose record was cut short, in the order the
  // records came; a slot may have changed its text since.
  std::vector<std::string> cutShortTasks;
  // The text of every record whose id is no number from 0 to 10000: nothing
  // of it could be stored, and a save of the table would drop it.
  std::vector<std::string> unplacedTasks;

  bool Read() const { return problem == LoadProblem::None; }
};

// Loads <folder>/content.txt into the table with the loader its first line
// names, and reports what it found; it asks nothing. The file may start
// with a UTF-8 byte-order mark, its lines may end in CR LF, LF or CR alone,
// and marker lines may carry trailing blanks. An empty file is an empty
// table. Task text is kept as the file's bytes. Never throws: running out
// of memory leaves the table empty and says so.
LoadResult LoadDataFile(TaskTable& table, const std::filesystem::path& folder);

// Loads the bytes of a whole data file, first line included, exactly as
// LoadDataFile loads the file's content.
LoadResult LoadDataBytes(TaskTable& table, std::string_view bytes);

// Loads what a read of content.txt found, as LoadDataFile does; the caller
// keeps the bytes (to compare a later version with).
LoadResult LoadDataRead(TaskTable& table, const FileRead& read);

// The messages for the user about a load, in the order they are shown at
// start-up: one "Error for task: " per cut-short record, then one for the
// tasks that could not be placed in the table, or, for a file that exists
// but was not loaded, one that names it and says why. A missing file gives
// none.
std::vector<std::string> LoadMessages(const LoadResult& result,
                                      const std::filesystem::path& folder);

// The bytes that a save writes to content.tmp and content.txt.
std::string FormatDataFile(const TaskTable& table);

// The bytes of a data file in a buffer that was never cleared, so that a
// save touches its 4 MB once instead of twice.
struct FormattedData {
  std::unique_ptr<char[]> data;
  std::size_t size = 0;
  std::string_view View() const { return {data.get(), size}; }
};

// Everything one save writes: position.txt's three lines, and the data file
// that goes to content.tmp and to content.txt alike.
struct SaveBytes {
  std::string position;
  FormattedData content;
  // Where set, content.txt is replaced only while it still is this version:
  // a version that another program wrote meanwhile is never overwritten.
  std::optional<FileStamp> expected;
  // The caller's own mark, handed back untouched with the result.
  std::uint64_t tag = 0;
  // The caller's own too: what a merge compares with once these bytes are
  // content.txt (MakeSavedMergeBase of the table they were made from).
  MergeBase shared;
};

// Makes the bytes of every file of a save from the table and the text of
// position.txt. Touches no file.
SaveBytes MakeSaveBytes(const TaskTable& table, std::string positionText);

// How a write of the save's files ended: the file that failed and the
// system's error number, or no file when every one was written.
struct SaveWriteResult {
  std::filesystem::path failedFile;
  int error = 0;
  // content.txt was not the expected version just before the rename:
  // nothing replaced it (failedFile names it).
  bool changedOnDisk = false;
  // The new content.txt as written (taken before the rename, so that a
  // program writing right after it is not taken for this save); not present
  // when content.txt was not replaced.
  FileStamp written;
  bool Saved() const { return failedFile.empty(); }
};

// Writes position.txt, then content.tmp (synced), then replaces content.txt
// with the same bytes through a synced sibling file and a rename, so that a
// crash or a full disk leaves either the old or the new content.txt.
// position.txt is replaced the same way. The siblings get names of their own
// (".content.txt." and six letters), made afresh, so that no user file is
// ever overwritten; where content.txt or position.txt is a symbolic link,
// the file it names is replaced (and made, when missing) and the link kept.
// A failure of position.txt is reported but does not keep the data files
// from being written; the data files stop at their first failure, and that
// failure is the one reported. Needs nothing but the bytes and the folder,
// so it may run away from the table.
SaveWriteResult WriteSaveFiles(const SaveBytes& bytes, const std::filesystem::path& folder);

// Writes `bytes` beside content.txt as a dated copy that no sync program
// would take for its own ("content (kept 2026-12-06 1015).txt"), never over
// an existing file. Returns the copy's path, or empty when it failed.
std::filesystem::path WriteKeptCopy(const std::filesystem::path& folder, std::string_view bytes,
                                    DateTime now);

// The points of a save at which a test stops the process, to check that
// content.txt then holds exactly the old or exactly the new data.
enum class SaveStep {
  PositionSiblingWritten,  // position.txt's sibling synced and closed
  PositionWritten,         // the sibling renamed over position.txt
  TmpPartlyWritten,        // half of content.tmp written
  NewPartlyWritten,        // content.tmp written, half of content.txt's sibling
  TmpWritten,              // content.tmp synced and closed, the sibling written
  NewWritten,              // the sibling synced and closed
  Replaced,                // the sibling renamed over content.txt
  FolderSynced,            // the rename made durable
};
using SaveStepHook = void (*)(SaveStep step);

// For tests only: called at every SaveStep of every later save; null (the
// default) turns it off.
void SetSaveStepHookForTesting(SaveStepHook hook);

}  // namespace zelto
