#include "cli/commandline.h"

#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <fstream>
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>
#include <system_error>
#include <variant>
#include <vector>

#include "schedule/icalexport.h"
#include "schedule/passes.h"
#include "store/datafile.h"

namespace zelto {
namespace {

constexpr std::string_view kUsage =
    "Usage: zelto-todo [COMMAND]\n"
    "Without a command the window opens. Commands read the tasks and change nothing:\n"
    "  --list            the tasks of the ToDo view: id, previous occurrence, text\n"
    "  --list=done       the tasks of the Done view: id, next occurrence, text\n"
    "  --count           the number of tasks in the ToDo view\n"
    "  --export-ics FILE every task as an iCalendar file (- for standard output)\n"
    "  --help            this text\n"
    "  --version         the program's version\n";

constexpr int16_t kTicked = -1;

enum class Command { List, ListDone, Count, Export, Help, Version };

struct Request {
  Command command;
  std::string file;  // for Export
};

// One command, or an error text.
std::variant<Request, std::string> Parse(const std::vector<std::string_view>& args) {
  std::optional<Request> request;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    Request next;
    if (arg == "--list" || arg == "--list=todo") {
      next = {Command::List, {}};
    } else if (arg == "--list=done") {
      next = {Command::ListDone, {}};
    } else if (arg == "--count") {
      next = {Command::Count, {}};
    } else if (arg == "--help" || arg == "-h") {
      next = {Command::Help, {}};
    } else if (arg == "--version") {
      next = {Command::Version, {}};
    } else if (arg.starts_with("--export-ics=")) {
      next = {Command::Export, std::string(arg.substr(13))};
    } else if (arg == "--export-ics") {
      if (i + 1 == args.size())
        return std::string("--export-ics needs a file name (- for standard output)");
      next = {Command::Export, std::string(args[++i])};
    } else {
      return "unknown option '" + std::string(arg) + "' (try --help)";
    }
    if (next.command == Command::Export && next.file.empty()) {
      return std::string("--export-ics needs a file name (- for standard output)");
    }
    if (request) return std::string("one command at a time (try --help)");
    request = next;
  }
  return *request;
}

std::string Digits(int value, int width) {
  std::string text = std::to_string(value);
  return std::string(text.size() < static_cast<size_t>(width) ? width - text.size() : 0, '0') +
         text;
}

// "yyyy-mm-dd hh:nn", or a text field as it is.
std::string FormatOccurrence(const Occurrence& value) {
  if (const std::string* text = value.Text()) return *text;
  const DateTime* date = value.Date();
  if (date == nullptr) return {};
  int year, month, day;
  date->YearMonthDay(year, month, day);
  return Digits(year, 4) + '-' + Digits(month, 2) + '-' + Digits(day, 2) + ' ' +
         Digits(date->Hour(), 2) + ':' + Digits(date->Minute(), 2);
}

// The view's rows in id order: ToDo holds the unticked tasks with their
// previous occurrence, Done the ticked ones with their next.
std::string ListView(const TaskTable& t, bool done) {
  std::string out;
  for (int id = 0; id <= kMaxTaskId; ++id) {
    if (!t.InUse(id) || t.TaskChecked[id] != (done ? kTicked : 0)) continue;
    out += std::to_string(id) + '\t' +
           FormatOccurrence(done ? t.NextOccurrence[id] : t.PreviousOccurrence[id]) + '\t';
    out += t.TaskText[id];
    out += '\n';
  }
  return out;
}

int CountTodo(const TaskTable& t) {
  int n = 0;
  for (int id = 0; id <= kMaxTaskId; ++id) n += t.InUse(id) && t.TaskChecked[id] == 0;
  return n;
}

DateTime UtcNow() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  return DateTime::FromParts(utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour,
                             utc.tm_min, utc.tm_sec)
      .value_or(DateTime());
}

// Output onto a file descriptor. The program does without the standard
// streams: linked in, they set up the C++ locales at every start, a few
// hundred kilobytes of library pages for a window that never prints.
class FdOutput : public std::streambuf {
 public:
  explicit FdOutput(int fd) : fd_(fd) { setp(buffer_, buffer_ + sizeof buffer_); }
  ~FdOutput() override { sync(); }
  FdOutput(const FdOutput&) = delete;
  FdOutput& operator=(const FdOutput&) = delete;

 protected:
  int_type overflow(int_type c) override {
    if (sync() != 0) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(c);
      pbump(1);
    }
    return traits_type::not_eof(c);
  }

  // A failed write fails the stream (a full disk, a closed pipe): the
  // exit code must not say that everything was printed.
  int sync() override {
    const char* p = pbase();
    while (!failed_ && p < pptr()) {
      const ssize_t written = ::write(fd_, p, static_cast<std::size_t>(pptr() - p));
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0)
        failed_ = true;
      else
        p += written;
    }
    setp(buffer_, buffer_ + sizeof buffer_);
    return failed_ ? -1 : 0;
  }

 private:
  int fd_;
  bool failed_ = false;
  char buffer_[4096];
};

int RunCommand(int argc, const char* const* argv, const std::filesystem::path& folder,
               const Clock& clock, std::ostream& out, std::ostream& err) {
  const auto parsed = Parse(std::vector<std::string_view>(argv + 1, argv + argc));
  if (const auto* message = std::get_if<std::string>(&parsed)) {
    err << "zelto-todo: " << *message << '\n';
    return 2;
  }
  const Request& request = std::get<Request>(parsed);
  if (request.command == Command::Help) {
    out << kUsage;
    return 0;
  }
  if (request.command == Command::Version) {
    out << "Zelto Todo List 2.3\n";
    return 0;
  }

  auto table = MakeTaskTable();
  const LoadResult loaded = LoadDataFile(*table, folder);
  if (!loaded.Read()) {
    err << "zelto-todo: cannot read " << (folder / kContentFile).string() << '\n';
    return 2;
  }
  // Cut-short records go to stderr, where a window would show them one by
  // one, and the command goes on with what loaded.
  for (const std::string& message : LoadMessages(loaded, folder))
    err << "zelto-todo: " << message << '\n';
  RefreshDueTasks(*table, clock.Now(), false);

  std::string text;
  switch (request.command) {
    case Command::List:
      text = ListView(*table, false);
      break;
    case Command::ListDone:
      text = ListView(*table, true);
      break;
    case Command::Count:
      text = std::to_string(CountTodo(*table)) + '\n';
      break;
    default:
      text = ExportCalendar(*table, UtcNow());
      break;
  }
  if (request.command == Command::Export && request.file != "-") {
    std::ofstream file(request.file, std::ios::binary | std::ios::trunc);
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    file.close();
    if (!file) {
      err << "zelto-todo: cannot write " << request.file << '\n';
      return 2;
    }
    return 0;
  }
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.flush();
  return out ? 0 : 2;
}

}  // namespace

std::optional<int> RunCommandLine(int argc, const char* const* argv,
                                  const std::filesystem::path& folder, const Clock& clock) {
  if (argc < 2) return std::nullopt;
  const std::string_view first = argv[1];
  if (first.size() > 1 && first[0] == '-' && first[1] != '-' && first != "-h") return std::nullopt;
  FdOutput outBuffer(STDOUT_FILENO), errBuffer(STDERR_FILENO);
  std::ostream out(&outBuffer), err(&errBuffer);
  const int code = RunCommand(argc, argv, folder, clock, out, err);
  // Also what a command printed without flushing, as --version does.
  out.flush();
  err.flush();
  return code == 0 && !out ? 2 : code;
}

}  // namespace zelto
