#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <random>
#include <string>
#include <utility>

#include "store/datafile.h"
#include "store/dataformat.h"
#include "store/filebytes.h"
#include "store/filestamp.h"

namespace zelto {
namespace {

SaveStepHook gSaveStepHook = nullptr;

void Reached(SaveStep step) {
  if (gSaveStepHook != nullptr) gSaveStepHook(step);
}

bool WriteRaw(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;  // ENOSPC, EFBIG, EIO, ...
    }
    if (written == 0) {
      errno = ENOSPC;
      return false;
    }
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

// Root passes every permission check, so the owner-write bit is read
// directly: a file the user made read-only stays as it is, for root too.
bool IsReadOnly(const struct stat& info) {
  return (info.st_mode & S_IWUSR) == 0;
}

// Notes the first failure of a write; false, so that a step can return it.
bool Fail(SaveWriteResult& result, const std::filesystem::path& file, int error) {
  result.failedFile = file;
  result.error = error;
  return false;
}

// Where a file of the save really lives: the file itself, or, when it is a
// symbolic link (into a synced folder, say), the file the link names, even
// one that does not exist yet. Writing there keeps the link a link.
std::optional<std::filesystem::path> FollowLinks(std::filesystem::path file, int& error) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info {};
    if (::lstat(file.c_str(), &info) != 0) {
      if (errno != ENOENT) return error = errno, std::nullopt;
      return file;  // not there yet: made by the rename
    }
    if (!S_ISLNK(info.st_mode)) return file;
    std::string named(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 255) + 1, '\0');
    const ssize_t length = ::readlink(file.c_str(), named.data(), named.size());
    if (length < 0) return error = errno, std::nullopt;
    named.resize(static_cast<std::size_t>(length));
    file = std::filesystem::path(named).is_absolute() ? std::filesystem::path(named)
                                                      : file.parent_path() / named;
    file = file.lexically_normal();
  }
  error = ELOOP;  // a ring of links
  return std::nullopt;
}

// The file about to be replaced, and its mode to be kept where it exists.
// Only a plain file is replaced: a folder, a read-only file or a device or
// pipe (the rename would put a file in the node's place) is refused.
bool InspectTarget(const std::filesystem::path& target, std::optional<mode_t>& mode,
                   SaveWriteResult& result) {
  struct stat old {};
  if (::stat(target.c_str(), &old) != 0) return errno == ENOENT || Fail(result, target, errno);
  if (S_ISDIR(old.st_mode)) return Fail(result, target, EISDIR);
  if (!S_ISREG(old.st_mode)) return Fail(result, target, ENXIO);
  if (IsReadOnly(old)) return Fail(result, target, EACCES);
  mode = old.st_mode & 07777;
  return true;
}

// Keeping the old file's mode is a courtesy: file systems that cannot store
// modes refuse it, and that must not make every save fail. The file is
// created with no more rights than the mode, so that it is never readable by
// more users than the old file, not even while it is filled.
void KeepMode(int fd, std::optional<mode_t> mode) {
  if (mode) (void)::fchmod(fd, *mode);
}
mode_t CreationMode(std::optional<mode_t> mode) {
  return mode ? (*mode & 0666) : 0666;
}

// A new file next to `target` with a name nobody else uses (as mkstemp makes
// them, but created with the mode's rights under the umask): a user's own
// file is never truncated or removed. Sets errno when it fails.
int CreateUniqueSibling(const std::filesystem::path& target, std::optional<mode_t> mode,
                        std::filesystem::path& made) {
  static constexpr char kLetters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937_64 random{std::random_device{}()};
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = "." + target.filename().string() + ".";
    for (int k = 0; k < 6; ++k) name += kLetters[random() % (sizeof kLetters - 1)];
    made = target.parent_path() / name;
    const int fd = ::open(made.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          CreationMode(mode));
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

// The rename lives in the folder: without this sync a power cut could
// still bring back the old name.
bool SyncFolder(const std::filesystem::path& folder, SaveWriteResult& result) {
  ScopedFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir.valid() || (::fsync(dir.get()) != 0 && errno != EINVAL) || !dir.Close())
    return Fail(result, folder, errno);
  return true;
}

// position.txt goes the way of content.txt: a synced sibling renamed over
// it, so that a crash never leaves it half written.
bool WritePositionFile(const std::filesystem::path& folder, std::string_view bytes,
                       SaveWriteResult& result) {
  const auto file = folder / kPositionFile;
  int error = 0;
  const auto target = FollowLinks(file, error);
  if (!target) return Fail(result, file, error);
  std::optional<mode_t> mode;
  if (!InspectTarget(*target, mode, result)) return false;
  std::filesystem::path sibling;
  ScopedFd fresh(CreateUniqueSibling(*target, mode, sibling));
  if (!fresh.valid()) return Fail(result, *target, errno);
  KeepMode(fresh.get(), mode);
  if (!WriteRaw(fresh.get(), bytes) || ::fsync(fresh.get()) != 0 || !fresh.Close()) {
    Fail(result, *target, errno);
    ::unlink(sibling.c_str());
    return false;
  }
  Reached(SaveStep::PositionSiblingWritten);
  if (::rename(sibling.c_str(), target->c_str()) != 0) {
    Fail(result, *target, errno);
    ::unlink(sibling.c_str());
    return false;
  }
  // In the data folder, the folder sync after content.txt's rename covers
  // this one too.
  return target->parent_path() == folder || SyncFolder(target->parent_path(), result);
}

// Opens content.tmp for rewriting. An existing plain file is overwritten in
// place, which spares the file system freeing and allocating 4 MB on every
// save; a symbolic or hard link (to content.txt, say) is replaced by a file
// of its own instead, so that writing content.tmp can never touch the data
// file. It is a full copy of the data, so it gets content.txt's mode. Sets
// errno when it fails.
int OpenContentTmp(const std::filesystem::path& file, std::optional<mode_t> mode) {
  int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                  CreationMode(mode));
  if (fd < 0 && errno != ELOOP) return -1;  // a folder in its place fails here
  struct stat info {};
  if (fd >= 0) {
    const int error = ::fstat(fd, &info) != 0  ? errno
                      : !S_ISREG(info.st_mode) ? EINVAL
                      : IsReadOnly(info)       ? EACCES
                                               : 0;
    if (error != 0) {
      ::close(fd);
      errno = error;
      return -1;
    }
    // A mode the file cannot take (another user's file) must not leave the
    // copy more readable than the data file: it is made anew instead.
    if (info.st_nlink == 1 &&
        (!mode || (info.st_mode & 07777) == *mode || ::fchmod(fd, *mode) == 0))
      return fd;
    ::close(fd);
  }
  if (::unlink(file.c_str()) != 0 && errno != ENOENT) return -1;
  fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, CreationMode(mode));
  if (fd >= 0) KeepMode(fd, mode);
  return fd;
}

// Fills content.tmp and starts it on its way to the disk while the sibling
// is being filled; the fsync before the rename then has less to wait for.
bool WriteContentTmp(const std::filesystem::path& file, ScopedFd& tmp, std::string_view bytes,
                     SaveWriteResult& result) {
  if (!tmp.valid() || !WriteAll(tmp.get(), bytes, SaveStep::TmpPartlyWritten) ||
      ::ftruncate(tmp.get(), static_cast<off_t>(bytes.size())) != 0)
    return Fail(result, file, errno);
  ::sync_file_range(tmp.get(), 0, 0, SYNC_FILE_RANGE_WRITE);
  return true;
}

// Writes the new data into a fresh sibling of the data file and makes both
// content.tmp and the sibling durable; content.tmp is closed on success.
bool WriteSibling(const std::filesystem::path& target, std::filesystem::path& sibling,
                  const std::filesystem::path& tmpFile, ScopedFd& tmp, std::string_view bytes,
                  std::optional<mode_t> mode, SaveWriteResult& result) {
  ScopedFd fresh(CreateUniqueSibling(target, mode, sibling));
  if (!fresh.valid()) {
    sibling.clear();
    return Fail(result, target, errno);
  }
  KeepMode(fresh.get(), mode);
  if (!WriteAll(fresh.get(), bytes, SaveStep::NewPartlyWritten)) return Fail(result, target, errno);
  if (::fsync(tmp.get()) != 0 || !tmp.Close()) return Fail(result, tmpFile, errno);
  Reached(SaveStep::TmpWritten);
  if (::fsync(fresh.get()) != 0 || !fresh.Close()) return Fail(result, target, errno);
  Reached(SaveStep::NewWritten);
  return true;
}

// Writes content.tmp, then puts the same bytes in place of content.txt by
// way of a sibling file and a rename, so that content.txt is at every
// moment either the complete old file or the complete new one.
bool WriteContentFiles(const std::filesystem::path& folder, std::string_view bytes,
                       const std::optional<FileStamp>& expected, SaveWriteResult& result) {
  const auto file = folder / kContentFile;
  const auto tmpFile = folder / kContentTmpFile;
  int linkError = 0;
  const auto target = FollowLinks(file, linkError);
  // The mode only: whether the data file may be replaced is settled below,
  // after content.tmp, which is written whatever stands at content.txt.
  std::optional<mode_t> mode;
  if (struct stat old{}; target && ::stat(target->c_str(), &old) == 0 && S_ISREG(old.st_mode))
    mode = (old.st_mode & 07777) | S_IWUSR;  // a read-only copy would block later saves
  ScopedFd tmp(OpenContentTmp(tmpFile, mode));
  if (!WriteContentTmp(tmpFile, tmp, bytes, result)) return false;
  if (!target || !InspectTarget(*target, mode, result)) {
    if (!target) Fail(result, file, linkError);
    ::fsync(tmp.get());  // content.tmp stays complete all the same
    return false;
  }
  std::filesystem::path sibling;
  if (!WriteSibling(*target, sibling, tmpFile, tmp, bytes, mode, result)) {
    if (!sibling.empty()) ::unlink(sibling.c_str());
    return false;
  }
  // The last look before the rename: another program's version that came
  // while this one was written is left in place, for the window to merge.
  // (A writer in the instant between this look and the rename still loses;
  // only a lock every writer honours could close that.)
  if (expected && CheckFile(file, *expected).changed) {
    ::unlink(sibling.c_str());
    result.changedOnDisk = true;
    return Fail(result, file, 0);
  }
  FileStamp written = StatStamp(sibling);
  written.hash = HashBytes(bytes);
  if (::rename(sibling.c_str(), target->c_str()) != 0) {
    Fail(result, *target, errno);
    ::unlink(sibling.c_str());
    return false;
  }
  result.written = written;
  Reached(SaveStep::Replaced);
  if (!SyncFolder(target->parent_path(), result)) return false;
  if (target->parent_path() != folder && !SyncFolder(folder, result)) return false;
  Reached(SaveStep::FolderSynced);
  return true;
}

}  // namespace

void SetSaveStepHookForTesting(SaveStepHook hook) {
  gSaveStepHook = hook;
}

SaveBytes MakeSaveBytes(const TaskTable& table, std::string positionText) {
  SaveBytes bytes;
  bytes.position = std::move(positionText);
  bytes.content = FormatDataBytes(table);
  return bytes;
}

SaveWriteResult WriteSaveFiles(const SaveBytes& bytes, const std::filesystem::path& folder) {
  // position.txt only places the window: its failure is reported, but the
  // tasks are written all the same, and a failure of theirs is the one named.
  SaveWriteResult position;
  if (WritePositionFile(folder, bytes.position, position)) Reached(SaveStep::PositionWritten);
  SaveWriteResult result;
  if (!WriteContentFiles(folder, bytes.content.View(), bytes.expected, result)) return result;
  position.written = result.written;
  return position;
}

std::filesystem::path WriteKeptCopy(const std::filesystem::path& folder, std::string_view bytes,
                                    DateTime now) {
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d%02d", now.Year(), now.Month(), now.Day(),
                now.Hour(), now.Minute());
  for (int n = 1; n < 100; ++n) {
    const std::string suffix = n == 1 ? "" : " " + std::to_string(n);
    const auto copy = folder / ("content (kept " + std::string(stamp) + suffix + ").txt");
    ScopedFd fd(::open(copy.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!fd.valid()) {
      if (errno == EEXIST) continue;
      return {};
    }
    if (WriteRaw(fd.get(), bytes) && ::fsync(fd.get()) == 0 && fd.Close()) return copy;
    ::unlink(copy.c_str());
    return {};
  }
  return {};
}

}  // namespace zelto
