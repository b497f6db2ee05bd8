#pragma once

#include <filesystem>
#include <string_view>

#include "store/ports.h"
#include "store/tasktable.h"

namespace zelto {

inline constexpr std::string_view kContentFile = "content.txt";
inline constexpr std::string_view kContentTmpFile = "content.tmp";
inline constexpr std::string_view kPositionFile = "position.txt";

// Loads <folder>/content.txt into the table with the loader its first line
// names. Returns false when the file cannot be opened (start-up then sets
// DataFileError); a file that opens but has an unknown first line loads
// nothing and still counts as opened. Cut-short records are reported one by
// one through the prompter.
bool LoadDataFile(TaskTable& table, const std::filesystem::path& folder, Prompter& prompter);

enum class SaveResult {
  Saved,
  Declined,   // "No" to the DataFileError question: nothing written
  Cancelled,  // "Cancel" to that question: nothing written
  Failed,     // "Error saving file!" was shown; content.txt is unchanged
};

// Writes position.txt (from the hooks), then content.tmp, then replaces
// content.txt with the same bytes.
SaveResult SaveDataFile(const TaskTable& table, const std::filesystem::path& folder,
                        bool DataFileError, Prompter& prompter, WindowHooks& hooks);

}  // namespace zelto
