#pragma once

#include <QString>
#include <filesystem>
#include <memory>

class QLockFile;

namespace zelto {

// One running instance per program folder, through a lock file beside the
// data. The lock of a process that has died (crash, kill -9) is taken over;
// a folder where no lock can be made at all does not count as "running".
class InstanceLock {
 public:
  enum class Result {
    Acquired,        // this is the only instance; the lock is held until destruction
    AlreadyRunning,  // a live instance holds the lock
    Unavailable,     // no lock can be made here (read-only folder...): run unguarded
  };

  static constexpr const char* kLockFileName = "instance.lock";

  explicit InstanceLock(const std::filesystem::path& folder);
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  Result Acquire();
  QString FilePath() const;

 private:
  int folderFd_ = -1;  // held while the lock is reached through it
  std::unique_ptr<QLockFile> lock_;
};

}  // namespace zelto
