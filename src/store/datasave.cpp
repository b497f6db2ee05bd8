#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "store/datafile.h"

namespace zelto {
namespace {

SaveStepHook gSaveStepHook = nullptr;

void Reached(SaveStep step) {
  if (gSaveStepHook != nullptr) gSaveStepHook(step);
}

class ScopedFd {
 public:
  ScopedFd() = default;
  explicit ScopedFd(int fd) : fd_(fd) {}
  ~ScopedFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  ScopedFd(const ScopedFd&) = delete;
  ScopedFd& operator=(const ScopedFd&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // close() reports the last deferred write error on some file systems, so
  // its result counts.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_ = -1;
};

bool WriteRaw(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;  // ENOSPC, EFBIG, EIO, ...
    }
    if (written == 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// Writes in two halves, so that a test can stop the process between them.
bool WriteAll(int fd, std::string_view bytes, SaveStep halfway) {
  const std::size_t half = bytes.size() / 2;
  if (!WriteRaw(fd, bytes.substr(0, half))) return false;
  Reached(halfway);
  return WriteRaw(fd, bytes.substr(half));
}

// Removes a file left by an earlier save so that the new one starts afresh:
// writing through an old name could run into a hard or symbolic link to
// content.txt and spoil it before the safe replacement.
bool RemoveOld(const std::filesystem::path& file) {
  return ::unlink(file.c_str()) == 0 || errno == ENOENT;
}

// The owner-write bit decides, even for root, whom the permission check
// would not stop: a file the user made read-only stays as it is.
bool IsReadOnly(const struct stat& info) {
  return (info.st_mode & S_IWUSR) == 0;
}

bool WritePositionFile(const std::filesystem::path& file, std::string_view bytes) {
  ScopedFd fd(::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (!fd.valid() || !WriteRaw(fd.get(), bytes)) return false;
  return fd.Close();
}

bool WriteContentTmp(const std::filesystem::path& file, std::string_view bytes) {
  struct stat info {};
  if (::lstat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode) && IsReadOnly(info)) return false;
  if (!RemoveOld(file)) return false;  // a folder standing in its place fails here
  ScopedFd fd(::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (!fd.valid() || !WriteAll(fd.get(), bytes, SaveStep::TmpPartlyWritten)) return false;
  if (::fsync(fd.get()) != 0) return false;
  return fd.Close();
}

// Puts the bytes in place of content.txt so that content.txt is at every
// moment either the complete old file or the complete new one.
bool ReplaceContentFile(const std::filesystem::path& folder, std::string_view bytes) {
  const auto target = folder / kContentFile;
  const auto sibling = folder / kContentNewFile;
  struct stat old {};
  bool existed = false;
  if (::stat(target.c_str(), &old) == 0) {
    existed = true;
    if (IsReadOnly(old) || S_ISDIR(old.st_mode)) return false;
  } else if (errno != ENOENT) {
    return false;
  }

  if (!RemoveOld(sibling)) return false;
  bool ok = false;
  {
    ScopedFd fd(::open(sibling.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd.valid()) {
      ok = (!existed || ::fchmod(fd.get(), old.st_mode & 07777) == 0) &&
           WriteAll(fd.get(), bytes, SaveStep::NewPartlyWritten) && ::fsync(fd.get()) == 0;
      ok = fd.Close() && ok;
    }
  }
  if (ok) {
    Reached(SaveStep::NewWritten);
    ok = ::rename(sibling.c_str(), target.c_str()) == 0;
  }
  if (!ok) {
    ::unlink(sibling.c_str());
    return false;
  }
  Reached(SaveStep::Replaced);

  // The rename lives in the folder: without this sync a power cut could
  // still bring back the old name.
  ScopedFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir.valid()) return false;
  if (::fsync(dir.get()) != 0 && errno != EINVAL) return false;
  if (!dir.Close()) return false;
  Reached(SaveStep::FolderSynced);
  return true;
}

bool WriteFiles(const TaskTable& table, const std::filesystem::path& folder,
                const std::string& position) {
  const std::string content = FormatDataFile(table);
  if (!WritePositionFile(folder / kPositionFile, position)) return false;
  Reached(SaveStep::PositionWritten);
  if (!WriteContentTmp(folder / kContentTmpFile, content)) return false;
  Reached(SaveStep::TmpWritten);
  return ReplaceContentFile(folder, content);
}

}  // namespace

void SetSaveStepHookForTesting(SaveStepHook hook) {
  gSaveStepHook = hook;
}

SaveResult SaveDataFile(const TaskTable& table, const std::filesystem::path& folder,
                        bool DataFileError, Prompter& prompter, WindowHooks& hooks) {
  if (DataFileError) {
    const Answer answer = prompter.Ask(
        "There was an error opening the data file... Do you really want to save this data?",
        "Zelto Todo List save data", Buttons::YesNoCancel);
    if (answer == Answer::No) return SaveResult::Declined;
    if (answer != Answer::Yes) return SaveResult::Cancelled;
  }

  hooks.SetPassButtonsEnabled(false);
  bool saved = false;
  try {
    saved = WriteFiles(table, folder, hooks.PositionFileText());
  } catch (const std::exception&) {
    saved = false;  // out of memory while formatting: nothing replaced
  }
  if (!saved) prompter.Ask("Error saving file!", kAppTitle, Buttons::Ok);
  hooks.SetPassButtonsEnabled(true);
  return saved ? SaveResult::Saved : SaveResult::Failed;
}

}  // namespace zelto
