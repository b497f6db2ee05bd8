#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

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

// Root passes every permission check, so the owner-write bit is read
// directly: a file the user made read-only stays as it is, for root too.
bool IsReadOnly(const struct stat& info) {
  return (info.st_mode & S_IWUSR) == 0;
}

bool WritePositionFile(const std::filesystem::path& file, std::string_view bytes) {
  ScopedFd fd(::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC, 0666));
  if (!fd.valid() || !WriteRaw(fd.get(), bytes)) return false;
  return fd.Close();
}

// Opens content.tmp for rewriting. An existing plain file is overwritten in
// place, which spares the file system freeing and allocating 4 MB on every
// save; a symbolic or hard link (to content.txt, say) is replaced by a file
// of its own instead, so that writing content.tmp can never touch the data
// file.
int OpenContentTmp(const std::filesystem::path& file) {
  int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0 && errno != ELOOP) return -1;  // a folder in its place fails here
  struct stat info {};
  if (fd >= 0) {
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || IsReadOnly(info)) {
      ::close(fd);
      return -1;
    }
    if (info.st_nlink == 1) return fd;
    ::close(fd);
  }
  if (::unlink(file.c_str()) != 0 && errno != ENOENT) return -1;
  return ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

// Writes content.tmp, then puts the same bytes in place of content.txt by
// way of a sibling file and a rename, so that content.txt is at every
// moment either the complete old file or the complete new one.
bool WriteContentFiles(const std::filesystem::path& folder, std::string_view bytes) {
  ScopedFd tmp(OpenContentTmp(folder / kContentTmpFile));
  if (!tmp.valid() || !WriteAll(tmp.get(), bytes, SaveStep::TmpPartlyWritten) ||
      ::ftruncate(tmp.get(), static_cast<off_t>(bytes.size())) != 0)
    return false;
  // Start writing content.tmp to the disk while the sibling is being filled;
  // the fsync below then has less left to wait for.
  ::sync_file_range(tmp.get(), 0, 0, SYNC_FILE_RANGE_WRITE);

  // A content.txt that is a symbolic link (into a synced folder, say) stays
  // one: the file it names is replaced, by way of a sibling in its folder.
  auto target = folder / kContentFile;
  std::error_code error;
  if (std::filesystem::is_symlink(target, error)) {
    auto named = std::filesystem::canonical(target, error);
    if (!error) target = std::move(named);
  }
  const auto targetFolder = target.parent_path();
  struct stat old {};
  bool existed = false;
  if (::stat(target.c_str(), &old) == 0) {
    existed = true;
    if (IsReadOnly(old) || S_ISDIR(old.st_mode)) {
      ::fsync(tmp.get());  // content.tmp stays complete all the same
      return false;
    }
  } else if (errno != ENOENT) {
    return false;
  }

  const auto sibling = targetFolder / kContentNewFile;
  if (::unlink(sibling.c_str()) != 0 && errno != ENOENT) return false;
  ScopedFd fresh(::open(sibling.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (!fresh.valid()) return false;
  // Keeping the old file's mode is a courtesy: file systems that cannot
  // store modes refuse it, and that must not make every save fail.
  if (existed) (void)::fchmod(fresh.get(), old.st_mode & 07777);
  bool ok = WriteAll(fresh.get(), bytes, SaveStep::NewPartlyWritten) && ::fsync(tmp.get()) == 0 &&
            tmp.Close();
  if (ok) Reached(SaveStep::TmpWritten);
  ok = ok && ::fsync(fresh.get()) == 0;
  ok = fresh.Close() && ok;
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
  ScopedFd dir(::open(targetFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir.valid()) return false;
  if (::fsync(dir.get()) != 0 && errno != EINVAL) return false;
  if (!dir.Close()) return false;
  Reached(SaveStep::FolderSynced);
  return true;
}

bool WriteFiles(const TaskTable& table, const std::filesystem::path& folder,
                const std::string& position) {
  const FormattedData content = FormatDataBytes(table);
  if (!WritePositionFile(folder / kPositionFile, position)) return false;
  Reached(SaveStep::PositionWritten);
  return WriteContentFiles(folder, content.View());
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
