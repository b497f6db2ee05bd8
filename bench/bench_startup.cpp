// From process start until the main window is shown, with 10,000 tasks in
// content.txt, offscreen. The program reports its own phases (ZELTO_STARTUP_MARK)
// and they are shown as counters beside the wall-clock figure.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

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
    table->TaskText[id] = "Task number " + std::to_string(id) + " with a few words of text";
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

struct Run {
  double wallMs = -1;
  std::map<std::string, double> phases;
};

// Starts the program, waits for its "shown" mark, kills it.
Run StartOnce(const fs::path& executable) {
  Run run;
  int fds[2];
  if (pipe(fds) != 0) return run;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  env.emplace_back("QT_QPA_PLATFORM=offscreen");
  env.emplace_back("ZELTO_STARTUP_MARK=1");
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string path = executable.string();
  char* argv[] = {path.data(), nullptr};

  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, envp.data());
  close(fds[1]);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    close(fds[0]);
    return run;
  }
  std::string output;
  char buffer[4096];
  while (output.find("zelto-shown") == std::string::npos) {
    const ssize_t count = read(fds[0], buffer, sizeof buffer);
    if (count <= 0) break;
    output.append(buffer, static_cast<size_t>(count));
  }
  const auto shown = std::chrono::steady_clock::now();
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  close(fds[0]);
  if (output.find("zelto-shown") == std::string::npos) return run;
  run.wallMs = std::chrono::duration<double, std::milli>(shown - start).count();
  std::istringstream lines(output);
  std::string word, name;
  double ms;
  while (lines >> word) {
    if (word == "zelto-phase" && lines >> name >> ms) run.phases[name] = ms;
  }
  return run;
}

void BM_StartupUntilShown(benchmark::State& state) {
  zelto::test::TempFolder folder;
  const fs::path executable = folder / "zelto-todo";
  fs::copy_file(ZELTO_EXECUTABLE, executable);
  const std::string content = TenThousandTasks(state.range(0) != 0);
  std::map<std::string, double> totals;
  for (auto _ : state) {
    zelto::test::WriteFileBytes(folder / "content.txt", content);
    fs::remove(folder / "instance.lock");
    const Run run = StartOnce(executable);
    if (run.wallMs < 0) {
      state.SkipWithError("the program did not report being shown");
      break;
    }
    state.SetIterationTime(run.wallMs / 1000.0);
    for (const auto& [name, ms] : run.phases) totals[name] += ms;
  }
  for (const auto& [name, ms] : totals)
    state.counters[name + "_ms"] = benchmark::Counter(ms / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_StartupUntilShown)
    ->ArgName("all_due")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
