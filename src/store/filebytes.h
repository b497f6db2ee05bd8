#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>

#include "store/filestamp.h"

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

// No file the program reads comes near this: 10,001 tasks of realistic text
// take about 4 MB. Anything larger is refused unread, so that a huge or
// sparse file can never exhaust memory.
inline constexpr std::size_t kMaxFileBytes = std::size_t{64} << 20;

enum class ReadProblem {
  None,
  Missing,      // nothing of that name (a link to nothing included)
  Folder,       // a folder stands in the file's place
  NotAFile,     // a device, a pipe or a socket, or a link to one
  TooLarge,     // more than kMaxFileBytes
  Failed,       // the system refused to open or read it: see `error`
  OutOfMemory,  // the buffer could not be allocated
};

struct FileRead {
  FileBytes bytes;
  ReadProblem problem = ReadProblem::None;
  int error = 0;  // errno when the problem is Failed
  // The file as it was opened (no hash), when it was read.
  FileStamp stamp;
};

// Reads a regular file whole, following links. Anything else in its place is
// refused without being opened, so a device is never touched and a pipe never
// waited on; never throws.
FileRead ReadRegularFile(const std::filesystem::path& file, std::size_t limit = kMaxFileBytes);

// The bytes alone, or nothing for any problem.
std::optional<FileBytes> ReadWholeFile(const std::filesystem::path& file);

// How the file compares with the stamp of the version last loaded or saved.
struct DiskCheck {
  // Another version: different bytes, or something that cannot be read (a
  // folder, a device, a file too large...), or gone where there was one.
  bool changed = false;
  // What stands there now, hashed when it was read. When only the metadata
  // changed (a touch), the caller keeps this to spare the next read.
  FileStamp stamp;
  // The new version's bytes, or why they could not be had, when changed.
  FileRead read;
};

// Looks at the metadata first; reads and hashes the file only when that
// differs, so that a file touched without a change is not another version.
DiskCheck CheckFile(const std::filesystem::path& file, const FileStamp& known);

}  // namespace zelto
