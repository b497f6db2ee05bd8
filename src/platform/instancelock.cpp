#include "platform/instancelock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zelto {

InstanceLock::InstanceLock(const std::filesystem::path& folder) : path_(folder / kLockFileName) {}

InstanceLock::~InstanceLock() {
  // Closing releases the lock. The file stays: removing it would let a copy
  // that has it open lock a file that no longer has the name.
  if (fd_ >= 0) ::close(fd_);
}

InstanceLock::Result InstanceLock::Acquire() {
  if (fd_ >= 0) return Result::Acquired;
  problem_.clear();
  // The file is opened, never written: its contents are not the lock. Where
  // it cannot be created or written (a read-only folder, a file of another
  // user) an existing one can still be locked for reading.
  int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  const int createError = errno;
  if (fd < 0) fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    problem_ = QString::fromLocal8Bit(std::strerror(createError));
    return Result::Unavailable;
  }
  // flock: tied to this open file, released by the kernel when the process
  // ends however it ends, and it conflicts within one process as well.
  int result;
  do result = ::flock(fd, LOCK_EX | LOCK_NB);
  while (result != 0 && errno == EINTR);
  if (result == 0) {
    fd_ = fd;
    return Result::Acquired;
  }
  const int lockError = errno;
  ::close(fd);
  if (lockError == EWOULDBLOCK) return Result::AlreadyRunning;
  problem_ = QString::fromLocal8Bit(std::strerror(lockError));
  return Result::Unavailable;
}

}  // namespace zelto
