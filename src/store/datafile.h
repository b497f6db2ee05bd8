#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "store/ports.h"
#include "store/tasktable.h"

namespace zelto {

inline constexpr std::string_view kContentFile = "content.txt";
inline constexpr std::string_view kContentTmpFile = "content.tmp";
inline constexpr std::string_view kPositionFile = "position.txt";
// The sibling that receives content.txt's new bytes just before it is
// renamed over content.txt (over the file that content.txt names, in that
// file's folder, when content.txt is a symbolic link); it exists only for
// the moment of a save.
inline constexpr std::string_view kContentNewFile = "content.new";

// Loads <folder>/content.txt into the table with the loader its first line
// names. Returns false when the file cannot be opened or read (start-up
// then sets DataFileError); a file that opens but has an unknown first line
// loads nothing and still counts as opened. Cut-short records are reported
// one by one through the prompter. Lines may end in CR LF or LF alone; task
// text is kept as the file's bytes.
bool LoadDataFile(TaskTable& table, const std::filesystem::path& folder, Prompter& prompter);

// Loads the bytes of a whole data file, first line included, exactly as
// LoadDataFile loads the file's content.
void LoadDataBytes(TaskTable& table, std::string_view bytes, Prompter& prompter);

// The bytes that a save writes to content.tmp and content.txt.
std::string FormatDataFile(const TaskTable& table);

enum class SaveResult {
  Saved,
  Declined,   // "No" to the DataFileError question: nothing written
  Cancelled,  // "Cancel" to that question: nothing written
  Failed,     // "Error saving file!" was shown; content.txt is unchanged
};

// Asks first when DataFileError is set. Then, with the pass buttons off,
// writes position.txt (from the hooks), then content.tmp (synced), then
// replaces content.txt with the same bytes through a synced sibling file and
// a rename, so that a crash or a full disk leaves either the old or the new
// content.txt. Every failure shows "Error saving file!"; the buttons are on
// again afterwards.
SaveResult SaveDataFile(const TaskTable& table, const std::filesystem::path& folder,
                        bool DataFileError, Prompter& prompter, WindowHooks& hooks);

// The points of a save at which a test stops the process, to check that
// content.txt then holds exactly the old or exactly the new data.
enum class SaveStep {
  PositionWritten,   // position.txt written and closed
  TmpPartlyWritten,  // half of content.tmp written
  NewPartlyWritten,  // content.tmp written, half of content.new
  TmpWritten,        // content.tmp synced and closed, content.new written
  NewWritten,        // content.new synced and closed
  Replaced,          // content.new renamed over content.txt
  FolderSynced,      // the rename made durable
};
using SaveStepHook = void (*)(SaveStep step);

// For tests only: called at every SaveStep of every later save; null (the
// default) turns it off.
void SetSaveStepHookForTesting(SaveStepHook hook);

}  // namespace zelto
