#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <string>

#include "store/datafile.h"

namespace zelto {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

void AppendInt(std::string& out, int value) {
  char buffer[16];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

void AppendDate(std::string& out, DateTime value) {
  int year, month, day;
  value.YearMonthDay(year, month, day);
  if (year < 0 || year > 9999) {  // never in range; kept readable all the same
    out += FormatFileDate(value);
    return;
  }
  const int hour = value.Hour();
  const char text[13] = {static_cast<char>('0' + year / 1000),
                         static_cast<char>('0' + year / 100 % 10),
                         static_cast<char>('0' + year / 10 % 10),
                         static_cast<char>('0' + year % 10),
                         '-',
                         static_cast<char>('0' + month / 10),
                         static_cast<char>('0' + month % 10),
                         '-',
                         static_cast<char>('0' + day / 10),
                         static_cast<char>('0' + day % 10),
                         '-',
                         static_cast<char>('0' + hour / 10),
                         static_cast<char>('0' + hour % 10)};
  out.append(text, sizeof text);
}

// A line break inside a field would cut the record in two, and a TAB inside
// an occurrence would shift the fields after it: neither can come from the
// loader, so only text set elsewhere is ever changed here.
void AppendLineSafe(std::string& out, std::string_view text, bool tabsToo) {
  const std::string_view unsafe = tabsToo ? std::string_view("\n\t") : std::string_view("\n");
  if (text.find_first_of(unsafe) == std::string_view::npos) {
    out += text;
    return;
  }
  for (char c : text) out += unsafe.find(c) == std::string_view::npos ? c : ' ';
}

void AppendOccurrence(std::string& out, const Occurrence& value) {
  if (const auto* date = std::get_if<DateTime>(&value)) {
    AppendDate(out, *date);
  } else if (const auto* text = std::get_if<std::string>(&value)) {
    // Date texts kept from the oldest format are written as the date they
    // read as; markers and anything else as they stand.
    if (const auto date = OccurrenceAsDate(value)) {
      AppendDate(out, *date);
    } else {
      AppendLineSafe(out, *text, true);
    }
  }
  // An occurrence that holds nothing is written as an empty field: the
  // loader keeps the field's previous value for it, which in a fresh table
  // is again "nothing".
}

void AppendMask(std::string& out, const Mask& mask) {
  for (int k = 0; k < kMaskSize; ++k) {
    if (k > 0) out += ',';
    const int value = mask[k];
    if (value >= 0 && value <= 9) {
      out += static_cast<char>('0' + value);
    } else {
      AppendInt(out, value);
    }
  }
  out += kLineEnd;
}

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

std::string FormatDataFile(const TaskTable& table) {
  std::string out;
  int used = 0;
  for (int id = 0; id <= kMaxTaskId; ++id) used += !table.TaskText[id].empty();
  // About 400 bytes for a typical record; one growth at most beyond that.
  out.reserve(static_cast<std::size_t>(used) * 448 + 16);

  for (int id = 0; id <= kMaxTaskId; ++id) {
    const std::string& text = table.TaskText[id];
    if (text.empty()) continue;
    out += "*****\r\n ";
    AppendInt(out, id);
    out += " \r\n";
    AppendLineSafe(out, text, false);
    out += kLineEnd;
    AppendDate(out, table.CheckedDate[id]);
    out += '\t';
    AppendOccurrence(out, table.PreviousOccurrence[id]);
    out += '\t';
    AppendOccurrence(out, table.NextOccurrence[id]);
    out += kLineEnd;
    AppendInt(out, table.TaskChecked[id]);
    out += ',';
    AppendInt(out, table.EveryNDays[id]);
    out += ',';
    AppendInt(out, table.StartDay[id]);
    out += ',';
    AppendInt(out, table.StartMonth[id]);
    out += ',';
    AppendInt(out, table.StartYear[id]);
    out += kLineEnd;
    AppendMask(out, table.HourMask[id]);
    AppendMask(out, table.WeekdayMask[id]);
    AppendMask(out, table.DayOfMonthMask[id]);
    AppendMask(out, table.MonthMask[id]);
  }
  out += "*** end\r\n";
  return out;
}

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
