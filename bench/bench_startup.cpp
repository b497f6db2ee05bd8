// From process start until the main window is first painted, with 10,000
// tasks in content.txt, on a private X server (Xvfb), beside the floor: an
// empty Qt Widgets window of the same size started the same way. Each run
// also reports the resident memory once the program has settled after its
// first paint. The program reports its own phases (ZELTO_STARTUP_MARK) and
// they are shown as counters beside the wall-clock figure.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "look/twips.h"
#include "mainwindow/form1.h"
#include "store/datafile.h"
#include "store/tasktable.h"
#include "support/core/fakes.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using zelto::DateTime;

// 10,000 tasks; `due` makes every one of them fall due at start-up, so the
// first refresh searches all of them again.
std::string TenThousandTasks(bool due) {
  auto table = zelto::MakeTaskTable();
  const DateTime now = zelto::LocalDateTime(std::time(nullptr)).StartOfHour();
  for (int id = 1; id <= 10000; ++id) {
    table->TaskText.Set(id, "Task number " + std::to_string(id) + " with a few words of text");
    table->TaskChecked[id] = id % 3 == 0 ? -1 : 0;
    for (int h = 0; h < 24; h += 1 + id % 5) table->HourMask[id][h] = 1;
    for (int w = 0; w < 7; ++w) table->WeekdayMask[id][w] = 1;
    for (int d = 0; d < 31; ++d) table->DayOfMonthMask[id][d] = 1;
    for (int m = 0; m < 12; ++m) table->MonthMask[id][m] = 1;
    table->PreviousOccurrence[id] = now.AddHours(-1 - id % 7);
    table->NextOccurrence[id] = due ? now.AddHours(-1) : now.AddDays(1 + id % 20);
    if (table->TaskChecked[id]) table->CheckedDate[id] = now.AddHours(-2);
  }
  return zelto::FormatDataFile(*table);
}

// A private X server for the whole run, ended with the benchmark.
class XServer {
 public:
  XServer() {
    int fds[2];
    if (pipe(fds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    char* argv[] = {const_cast<char*>("Xvfb"),
                    const_cast<char*>("-displayfd"),
                    const_cast<char*>("1"),
                    const_cast<char*>("-nolisten"),
                    const_cast<char*>("tcp"),
                    const_cast<char*>("-screen"),
                    const_cast<char*>("0"),
                    const_cast<char*>("1280x1024x24"),
                    nullptr};
    const int spawned = posix_spawnp(&pid_, "Xvfb", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::string number;
    char c;
    while (spawned == 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (spawned != 0) pid_ = 0;
    if (!number.empty()) display_ = ":" + number;
  }
  ~XServer() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  const std::string& display() const { return display_; }

 private:
  pid_t pid_ = 0;
  std::string display_;
};

const std::string& Display() {
  static XServer server;
  return server.display();
}

struct Run {
  double wallMs = -1;
  double rssMb = -1;
  std::map<std::string, double> phases;
};

// VmRSS of a running process, in MB.
double ResidentMb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string key;
  while (status >> key) {
    double kb;
    if (key == "VmRSS:" && status >> kb) return kb / 1024.0;
    status.ignore(1 << 20, '\n');
  }
  return -1;
}

// Starts a program on the private server, waits for its "shown" mark (the
// first paint), then for "settled", reads its memory and kills it.
Run StartOnce(const fs::path& executable, std::vector<std::string> args) {
  Run run;
  int fds[2];
  if (Display().empty() || pipe(fds) != 0) return run;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string_view entry = *e;
    if (!entry.starts_with("QT_QPA_PLATFORM=") && !entry.starts_with("DISPLAY=") &&
        !entry.starts_with("WAYLAND_DISPLAY="))
      env.emplace_back(entry);
  }
  env.emplace_back("DISPLAY=" + Display());
  env.emplace_back("QT_QPA_PLATFORM=xcb");
  env.emplace_back("ZELTO_STARTUP_MARK=1");
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  args.insert(args.begin(), executable.string());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  close(fds[1]);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    close(fds[0]);
    return run;
  }
  std::string output;
  char buffer[4096];
  // A program that never says so fails the run instead of stopping the benchmark.
  auto readUntil = [&](const char* mark) {
    while (output.find(mark) == std::string::npos) {
      pollfd readable{fds[0], POLLIN, 0};
      if (poll(&readable, 1, 20000) <= 0) return false;
      const ssize_t count = read(fds[0], buffer, sizeof buffer);
      if (count <= 0) return false;
      output.append(buffer, static_cast<size_t>(count));
    }
    return true;
  };
  const bool shown = readUntil("zelto-shown");
  const auto shownAt = std::chrono::steady_clock::now();
  if (shown && readUntil("zelto-settled")) run.rssMb = ResidentMb(pid);
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  close(fds[0]);
  if (!shown) return run;
  run.wallMs = std::chrono::duration<double, std::milli>(shownAt - start).count();
  std::istringstream lines(output);
  std::string word, name;
  double ms;
  while (lines >> word) {
    if (word == "zelto-phase" && lines >> name >> ms) run.phases[name] = ms;
  }
  return run;
}

// Times the runs and averages the memory and the phases into counters.
template <typename Start>
void TimeStarts(benchmark::State& state, Start start) {
  double rss = 0;
  std::map<std::string, double> totals;
  for (auto _ : state) {
    const Run run = start();
    if (run.wallMs < 0 || run.rssMb < 0) {
      state.SkipWithError("the program did not report being shown and settled");
      break;
    }
    state.SetIterationTime(run.wallMs / 1000.0);
    rss += run.rssMb;
    for (const auto& [name, ms] : run.phases) totals[name] += ms;
  }
  const auto n = static_cast<double>(state.iterations());
  state.counters["rss_MB"] = benchmark::Counter(rss / n);
  for (const auto& [name, ms] : totals) state.counters[name + "_ms"] = benchmark::Counter(ms / n);
}

void BM_EmptyWindow(benchmark::State& state) {
  const std::string width = std::to_string(zelto::DesignPixels(zelto::kDesignWidthTwips));
  const std::string height = std::to_string(zelto::DesignPixels(zelto::kDesignHeightTwips));
  TimeStarts(state, [&] { return StartOnce(ZELTO_EMPTY_WINDOW, {width, height}); });
}

void BM_StartupUntilShown(benchmark::State& state) {
  zelto::test::TempFolder folder;
  const fs::path executable = folder / "zelto-todo";
  fs::copy_file(ZELTO_EXECUTABLE, executable);
  const std::string content = TenThousandTasks(state.range(0) != 0);
  TimeStarts(state, [&] {
    zelto::test::WriteFileBytes(folder / "content.txt", content);
    fs::remove(folder / "instance.lock");
    return StartOnce(executable, {});
  });
}

// The program and the empty window started in turns, so that a machine that
// speeds up or slows down during the run weighs on both alike: the ratio of
// each pair, and its median, say more than two runs minutes apart. Between
// them starts the window of the same controls and rows without the program
// (widgets_*), which tells the toolkit's share from the program's.
void BM_StartupBesideFloor(benchmark::State& state) {
  zelto::test::TempFolder folder;
  const fs::path executable = folder / "zelto-todo";
  fs::copy_file(ZELTO_EXECUTABLE, executable);
  const std::string content = TenThousandTasks(state.range(0) != 0);
  const std::string width = std::to_string(zelto::DesignPixels(zelto::kDesignWidthTwips));
  const std::string height = std::to_string(zelto::DesignPixels(zelto::kDesignHeightTwips));
  std::vector<double> ratios, floors, programs, extraMb, widgetsRatios, widgetsExtraMb;
  bool floorFirst = true;
  for (auto _ : state) {
    const auto startProgram = [&] {
      zelto::test::WriteFileBytes(folder / "content.txt", content);
      fs::remove(folder / "instance.lock");
      return StartOnce(executable, {});
    };
    const auto startFloor = [&] { return StartOnce(ZELTO_EMPTY_WINDOW, {width, height}); };
    Run floor, widgets, program;
    if (floorFirst) {
      floor = startFloor();
      widgets = StartOnce(ZELTO_WIDGETS_WINDOW, {width, height});
      program = startProgram();
    } else {
      program = startProgram();
      widgets = StartOnce(ZELTO_WIDGETS_WINDOW, {width, height});
      floor = startFloor();
    }
    floorFirst = !floorFirst;
    if (floor.wallMs < 0 || program.wallMs < 0 || floor.rssMb < 0 || program.rssMb < 0 ||
        widgets.wallMs < 0 || widgets.rssMb < 0) {
      state.SkipWithError("a program did not report being shown and settled");
      break;
    }
    state.SetIterationTime(program.wallMs / 1000.0);
    floors.push_back(floor.wallMs);
    programs.push_back(program.wallMs);
    ratios.push_back(program.wallMs / floor.wallMs);
    extraMb.push_back(program.rssMb - floor.rssMb);
    widgetsRatios.push_back(widgets.wallMs / floor.wallMs);
    widgetsExtraMb.push_back(widgets.rssMb - floor.rssMb);
  }
  const auto median = [](std::vector<double> v) {
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
  };
  state.counters["floor_ms"] = median(floors);
  state.counters["program_ms"] = median(programs);
  state.counters["ratio"] = median(ratios);
  state.counters["extra_rss_MB"] = median(extraMb);
  state.counters["widgets_ratio"] = median(widgetsRatios);
  state.counters["widgets_extra_rss_MB"] = median(widgetsExtraMb);
}

BENCHMARK(BM_EmptyWindow)
    ->Name("BM_StartupUntilShown/floor")
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StartupUntilShown)
    ->ArgName("all_due")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

BENCHMARK(BM_StartupBesideFloor)
    ->Name("BM_StartupUntilShown/beside-floor")
    ->ArgName("all_due")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
