#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string>
#include <utility>

#include "store/datafile.h"
#include "store/dataformat.h"
#include "store/filebytes.h"

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

bool WritePositionFile(const std::filesystem::path& file, std::string_view bytes,
                       SaveWriteResult& result) {
  ScopedFd fd(::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC, 0666));
  if (!fd.valid() || !WriteRaw(fd.get(), bytes) || !fd.Close()) return Fail(result, file, errno);
  return true;
}

// Opens content.tmp for rewriting. An existing plain file is overwritten in
// place, which spares the file system freeing and allocating 4 MB on every
// save; a symbolic or hard link (to content.txt, say) is replaced by a file
// of its own instead, so that writing content.tmp can never touch the data
// file. Sets errno when it fails.
int OpenContentTmp(const std::filesystem::path& file) {
  int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
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
    if (info.st_nlink == 1) return fd;
    ::close(fd);
  }
  if (::unlink(file.c_str()) != 0 && errno != ENOENT) return -1;
  return ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
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

// The file that receives the new data: content.txt, or the file it names
// when it is a symbolic link (into a synced folder, say), so that the link
// stays one.
std::filesystem::path ContentTarget(const std::filesystem::path& folder) {
  auto target = folder / kContentFile;
  std::error_code error;
  if (std::filesystem::is_symlink(target, error)) {
    auto named = std::filesystem::canonical(target, error);
    if (!error) target = std::move(named);
  }
  return target;
}

// The data file as it stands: its mode, to be kept, when it exists. A
// read-only file or a folder in its place is not replaced.
bool InspectTarget(const std::filesystem::path& target, std::optional<mode_t>& mode,
                   SaveWriteResult& result) {
  struct stat old {};
  if (::stat(target.c_str(), &old) != 0) return errno == ENOENT || Fail(result, target, errno);
  if (S_ISDIR(old.st_mode)) return Fail(result, target, EISDIR);
  if (IsReadOnly(old)) return Fail(result, target, EACCES);
  mode = old.st_mode & 07777;
  return true;
}

// Writes the new data into the sibling and makes both content.tmp and the
// sibling durable; content.tmp is closed on success.
bool WriteSibling(const std::filesystem::path& sibling, const std::filesystem::path& tmpFile,
                  ScopedFd& tmp, std::string_view bytes, std::optional<mode_t> mode,
                  SaveWriteResult& result) {
  if (::unlink(sibling.c_str()) != 0 && errno != ENOENT) return Fail(result, sibling, errno);
  ScopedFd fresh(::open(sibling.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (!fresh.valid()) return Fail(result, sibling, errno);
  // Keeping the old file's mode is a courtesy: file systems that cannot
  // store modes refuse it, and that must not make every save fail.
  if (mode) (void)::fchmod(fresh.get(), *mode);
  if (!WriteAll(fresh.get(), bytes, SaveStep::NewPartlyWritten))
    return Fail(result, sibling, errno);
  if (::fsync(tmp.get()) != 0 || !tmp.Close()) return Fail(result, tmpFile, errno);
  Reached(SaveStep::TmpWritten);
  if (::fsync(fresh.get()) != 0 || !fresh.Close()) return Fail(result, sibling, errno);
  Reached(SaveStep::NewWritten);
  return true;
}

// The rename lives in the folder: without this sync a power cut could
// still bring back the old name.
bool SyncFolder(const std::filesystem::path& folder, SaveWriteResult& result) {
  ScopedFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir.valid() || (::fsync(dir.get()) != 0 && errno != EINVAL) || !dir.Close())
    return Fail(result, folder, errno);
  return true;
}

// Writes content.tmp, then puts the same bytes in place of content.txt by
// way of a sibling file and a rename, so that content.txt is at every
// moment either the complete old file or the complete new one.
bool WriteContentFiles(const std::filesystem::path& folder, std::string_view bytes,
                       SaveWriteResult& result) {
  const auto tmpFile = folder / kContentTmpFile;
  ScopedFd tmp(OpenContentTmp(tmpFile));
  if (!WriteContentTmp(tmpFile, tmp, bytes, result)) return false;
  const auto target = ContentTarget(folder);
  std::optional<mode_t> mode;
  if (!InspectTarget(target, mode, result)) {
    ::fsync(tmp.get());  // content.tmp stays complete all the same
    return false;
  }
  const auto sibling = target.parent_path() / kContentNewFile;
  if (!WriteSibling(sibling, tmpFile, tmp, bytes, mode, result)) {
    ::unlink(sibling.c_str());
    return false;
  }
  if (::rename(sibling.c_str(), target.c_str()) != 0) {
    Fail(result, target, errno);
    ::unlink(sibling.c_str());
    return false;
  }
  Reached(SaveStep::Replaced);
  if (!SyncFolder(target.parent_path(), result)) return false;
  Reached(SaveStep::FolderSynced);
  return true;
}

}  // namespace

void SetSaveStepHookForTesting(SaveStepHook hook) {
  gSaveStepHook = hook;
}

SaveBytes MakeSaveBytes(const TaskTable& table, std::string positionText) {
  return SaveBytes{std::move(positionText), FormatDataBytes(table)};
}

SaveWriteResult WriteSaveFiles(const SaveBytes& bytes, const std::filesystem::path& folder) {
  SaveWriteResult result;
  if (!WritePositionFile(folder / kPositionFile, bytes.position, result)) return result;
  Reached(SaveStep::PositionWritten);
  WriteContentFiles(folder, bytes.content.View(), result);
  return result;
}

}  // namespace zelto
