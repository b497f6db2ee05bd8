#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>

namespace zelto {

// A POSIX file descriptor closed at scope exit. Close() reports the result:
// close() gives the last deferred write error on some file systems, so a
// writer must look at it.
class ScopedFd {
 public:
  explicit ScopedFd(int fd) : fd_(fd) {}
  ~ScopedFd();
  ScopedFd(const ScopedFd&) = delete;
  ScopedFd& operator=(const ScopedFd&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  bool Close();

 private:
  int fd_ = -1;
};

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
