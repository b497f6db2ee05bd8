#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>

namespace zelto {

// The whole content of a file, read with as few system calls as possible and
// without zero-filling the buffer first.
struct FileBytes {
  std::unique_ptr<char[]> data;
  std::size_t size = 0;
  std::string_view View() const { return {data.get(), size}; }
};

// Nothing when the file cannot be opened or read, or is not a regular file
// (a folder, a pipe or a device counts as unreadable).
std::optional<FileBytes> ReadWholeFile(const std::filesystem::path& file);

}  // namespace zelto
