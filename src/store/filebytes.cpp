#include "store/filebytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>

namespace zelto {

ScopedFd::~ScopedFd() {
  if (fd_ >= 0) ::close(fd_);
}

bool ScopedFd::Close() {
  const int fd = fd_;
  fd_ = -1;
  return ::close(fd) == 0;
}

namespace {

FileRead Problem(ReadProblem problem, int error = 0) {
  FileRead result;
  result.problem = problem;
  result.error = error;
  return result;
}

// Classifies what stands at a path or behind a descriptor; None for a
// regular file within the limit.
ReadProblem Classify(const struct stat& info, std::size_t limit) {
  if (S_ISDIR(info.st_mode)) return ReadProblem::Folder;
  if (!S_ISREG(info.st_mode)) return ReadProblem::NotAFile;
  if (info.st_size < 0 || static_cast<std::uintmax_t>(info.st_size) > limit)
    return ReadProblem::TooLarge;
  return ReadProblem::None;
}

}  // namespace

FileRead ReadRegularFile(const std::filesystem::path& file, std::size_t limit) {
  // Looked at before it is opened: opening a device can have effects of its
  // own (a tape rewinds, a terminal becomes ours).
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0)
    return Problem(errno == ENOENT ? ReadProblem::Missing : ReadProblem::Failed, errno);
  if (const ReadProblem problem = Classify(info, limit); problem != ReadProblem::None)
    return Problem(problem);

  // Non-blocking all the same, in case a pipe took the file's place since.
  ScopedFd fd(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0)
    return Problem(errno == ENOENT ? ReadProblem::Missing : ReadProblem::Failed, errno);
  if (::fstat(fd.get(), &info) != 0) return Problem(ReadProblem::Failed, errno);
  if (const ReadProblem problem = Classify(info, limit); problem != ReadProblem::None)
    return Problem(problem);

  try {
    // One byte more than the size, so that a single read normally both fills
    // the buffer and sees the end; a file that grows meanwhile is still read
    // whole, up to the limit.
    std::size_t capacity = info.st_size > 0 ? static_cast<std::size_t>(info.st_size) + 1 : 4096;
    FileRead result;
    FileBytes& bytes = result.bytes;
    bytes.data.reset(new char[capacity]);
    for (;;) {
      if (bytes.size == capacity) {
        if (capacity > limit) return Problem(ReadProblem::TooLarge);
        const std::size_t larger = capacity * 2;
        std::unique_ptr<char[]> grown(new char[larger]);
        std::memcpy(grown.get(), bytes.data.get(), bytes.size);
        bytes.data = std::move(grown);
        capacity = larger;
      }
      const ssize_t got = ::read(fd.get(), bytes.data.get() + bytes.size, capacity - bytes.size);
      if (got < 0) {
        if (errno == EINTR) continue;
        return Problem(ReadProblem::Failed, errno);
      }
      if (got == 0) break;
      bytes.size += static_cast<std::size_t>(got);
    }
    if (bytes.size > limit) return Problem(ReadProblem::TooLarge);
    result.stamp.present = true;
    result.stamp.size = bytes.size;
    result.stamp.mtimeNs =
        static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
    result.stamp.device = info.st_dev;
    result.stamp.inode = info.st_ino;
    return result;
  } catch (const std::bad_alloc&) {
    return Problem(ReadProblem::OutOfMemory);
  }
}

std::optional<FileBytes> ReadWholeFile(const std::filesystem::path& file) {
  FileRead read = ReadRegularFile(file);
  if (read.problem != ReadProblem::None) return std::nullopt;
  return std::move(read.bytes);
}

}  // namespace zelto
