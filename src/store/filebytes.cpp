#include "store/filebytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zelto {

ScopedFd::~ScopedFd() {
  if (fd_ >= 0) ::close(fd_);
}

bool ScopedFd::Close() {
  const int fd = fd_;
  fd_ = -1;
  return ::close(fd) == 0;
}

std::optional<FileBytes> ReadWholeFile(const std::filesystem::path& file) {
  // Non-blocking, so that a pipe or device standing in the file's place is
  // refused instead of hanging start-up; only a regular file is data.
  ScopedFd fd(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) return std::nullopt;
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;

  // One byte more than the size, so that a single read normally both fills
  // the buffer and sees the end; a file that grows meanwhile is still read
  // whole.
  std::size_t capacity = info.st_size > 0 ? static_cast<std::size_t>(info.st_size) + 1 : 4096;
  FileBytes bytes;
  bytes.data.reset(new char[capacity]);
  for (;;) {
    if (bytes.size == capacity) {
      const std::size_t larger = capacity * 2;
      std::unique_ptr<char[]> grown(new char[larger]);
      std::memcpy(grown.get(), bytes.data.get(), bytes.size);
      bytes.data = std::move(grown);
      capacity = larger;
    }
    const ssize_t got = ::read(fd.get(), bytes.data.get() + bytes.size, capacity - bytes.size);
    if (got < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (got == 0) break;
    bytes.size += static_cast<std::size_t>(got);
  }
  return bytes;
}

}  // namespace zelto
