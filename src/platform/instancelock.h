#pragma once

#include <QFile>
#include <QString>
#include <filesystem>

namespace zelto {

// One running instance per program folder, through a lock that the kernel
// holds on the file `instance.lock` beside the data for as long as the
// process lives. What the file holds does not matter: a file left by a
// killed copy, one written on another computer, an empty or damaged one,
// none of them blocks a start, and none switches the guard off.
class InstanceLock {
 public:
  enum class Result {
    Acquired,        // this is the only instance; the lock is held until destruction
    AlreadyRunning,  // a live instance holds the lock
    Unavailable,     // no lock can be taken here (read-only folder...): run unguarded
  };

  static constexpr const char* kLockFileName = "instance.lock";

  // The folder is the system's bytes: its name need not be UTF-8.
  explicit InstanceLock(const std::filesystem::path& folder);
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  Result Acquire();
  // For messages; a name that is not UTF-8 shows as best it can.
  QString FilePath() const { return QFile::decodeName(path_.c_str()); }
  // Why the latest Acquire found no lock to take, for the user.
  QString Problem() const { return problem_; }

 private:
  std::filesystem::path path_;
  QString problem_;
  int fd_ = -1;
};

}  // namespace zelto
