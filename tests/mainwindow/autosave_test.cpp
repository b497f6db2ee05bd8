// The automatic save: a change reaches content.txt a moment later without
// a question, off the window thread, never mixed with another save.
#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "form1_fixture.h"
#include "mainwindow/autosave.h"

namespace zelto::test {
namespace {

constexpr char kFailure[] = "Error saving file!";

std::mutex gStepsMutex;
std::vector<SaveStep> gSteps;
std::atomic<int> gSaves{0};
std::atomic<bool> gSlowFirstWrite{false};
std::atomic<bool> gInWrite{false};

void RecordStep(SaveStep step) {
  if (step == SaveStep::PositionWritten) {
    gInWrite = true;
    // Holds the first write open, so that a save of the window's own comes
    // while it is under way.
    if (gSlowFirstWrite.exchange(false))
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
  if (step == SaveStep::FolderSynced) ++gSaves;
  std::lock_guard lock(gStepsMutex);
  gSteps.push_back(step);
}

class AutosaveTest : public Form1Test {
 protected:
  void SetUp() override {
    Form1Test::SetUp();
    gSaves = 0;
    gSteps.clear();
    SetSaveStepHookForTesting(RecordStep);
  }
  void TearDown() override {
    form.reset();
    SetSaveStepHookForTesting(nullptr);
    Form1Test::TearDown();
  }

  // A window started over content.txt holding tasks 3 and 7, due every hour.
  void Start() {
    AddTask(3, "Water the plants");
    AddTask(7, "Feed the cat");
    WriteFileBytes(folder / "content.txt", FormatDataFile(*table));
    Form1Test::Start();
    written = std::make_unique<QSignalSpy>(&Saver(), &Autosave::Written);
  }
  Autosave& Saver() { return *form->Life().AutoSave; }
  // Lets the pending automatic save run and waits for the writer's report.
  bool SettleDown() {
    const qsizetype seen = written->count();
    return QTest::qWaitFor([&] { return written->count() > seen; }, Autosave::kDelayMs + 3000);
  }
  std::unique_ptr<TaskTable> Reloaded() {
    auto loaded = MakeTaskTable();
    EXPECT_TRUE(LoadDataFile(*loaded, folder.path()).Read());
    return loaded;
  }
  void Tick(int row) {
    ListView1()->setFocus();
    SelectRow(row);
    QTest::keyClick(ListView1(), Qt::Key_Space);
  }
  std::unique_ptr<QSignalSpy> written;
};

// Each kind of change, and a burst of them, is saved once, by itself, with
// the last state in it.
TEST_F(AutosaveTest, EveryKindOfChangeIsSavedByItself) {
  const struct {
    const char* what;
    std::function<void()> change;
    std::function<bool(const TaskTable&)> saved;  // of the reloaded file
  } cases[] = {
      {"tick", [this] { Tick(0); },
       [](const TaskTable& t) { return t.TaskChecked[3] + t.TaskChecked[7] == -1; }},
      {"delete",
       [this] {
         SelectRow(1);
         MessageBoxes::SetNextAnswer(Answer::Yes);
         Click(Find("Command6"));
       },
       [](const TaskTable& t) { return t.InUse(3) != t.InUse(7); }},
      {"re-count", [this] { Click(Find("Command3")); },
       [](const TaskTable& t) { return t.InUse(1) && t.InUse(2) && !t.InUse(7); }},
      {"recalculate all",
       [this] {
         clock.Set(At(2024, 3, 10, 16, 30));
         Click(Find("Command7"));
       },
       [](const TaskTable& t) {
         return t.NextOccurrence[3] == Occurrence(At(2024, 3, 10, 17, 0));
       }},
      {"both ticked, renumbered, searched again",
       [this] {
         Tick(0);
         Tick(0);
         Click(Find("Command3"));
         Click(Find("Command7"));
       },
       [](const TaskTable& t) { return t.TaskChecked[1] + t.TaskChecked[2] == -2 && !t.InUse(7); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    *table = TaskTable{};
    clock.Set(At(2024, 3, 10, 14, 0));
    Start();
    EXPECT_FALSE(Saver().Pending()) << "starting changed nothing";
    gSaves = 0;
    c.change();
    EXPECT_TRUE(Saver().Pending());
    EXPECT_EQ(gSaves, 0) << "not at once";
    ASSERT_TRUE(SettleDown());
    EXPECT_EQ(gSaves, 1);
    EXPECT_FALSE(Saver().Pending());
    EXPECT_TRUE(c.saved(*Reloaded()));
    EXPECT_TRUE(MessageBoxes::Asked().empty() || MessageBoxes::Asked().back().text != kFailure);
    form.reset();
  }
}

TEST_F(AutosaveTest, NothingIsSavedByItselfWhileTheDataFileCouldNotBeRead) {
  Start();
  form->Life().DataFileError = 1;
  const std::string before = ReadFileBytes(folder / "content.txt");
  Tick(0);
  EXPECT_FALSE(Saver().Pending());
  QTest::qWait(50);
  Saver().WaitIdle();
  EXPECT_EQ(gSaves, 0);
  EXPECT_EQ(ReadFileBytes(folder / "content.txt"), before);
  EXPECT_TRUE(MessageBoxes::Asked().empty()) << "it asks nothing";
}

// A run of failed automatic saves is reported once; a save that works
// again ends the run, so that the next failure is reported anew.
TEST_F(AutosaveTest, AFailingRunIsReportedOnce) {
  Start();
  const auto blocker = folder / "content.tmp";
  const struct {
    bool blocked;
    int reports;  // "Error saving file!" so far
  } steps[] = {{true, 1}, {true, 1}, {true, 1}, {false, 1}, {true, 2}};
  MessageBoxes::SetNextAnswer(Answer::Ok);  // spare: a report too many is counted, not waited on
  for (std::size_t i = 0; i < std::size(steps); ++i) {
    SCOPED_TRACE(i);
    const auto& s = steps[i];
    std::filesystem::remove(blocker);
    if (s.blocked) std::filesystem::create_directory(blocker);
    if (s.reports > (i ? steps[i - 1].reports : 0)) MessageBoxes::SetNextAnswer(Answer::Ok);
    Click(Find("Command7"));
    ASSERT_TRUE(SettleDown());
    int reports = 0;
    for (const auto& question : MessageBoxes::Asked()) {
      if (question.text != kFailure) continue;
      ++reports;
      EXPECT_EQ(question.detail, QString::fromStdString(blocker.string()) + ": Is a directory");
    }
    EXPECT_EQ(reports, s.reports);
    EXPECT_EQ(Saver().Pending(), s.blocked) << "tried again later";
  }
  EXPECT_TRUE(MessageBoxes::HasScriptedAnswers()) << "the spare answer was used";
  MessageBoxes::ClearScript();
}

// A save of the window's own while an automatic one is being written waits
// for it: the steps of the two saves never interleave.
TEST_F(AutosaveTest, AnExplicitSaveWaitsForTheAutomaticOne) {
  Start();
  Tick(0);
  gSlowFirstWrite = true;
  gInWrite = false;
  ASSERT_TRUE(QTest::qWaitFor([] { return gInWrite.load(); }, Autosave::kDelayMs + 3000));
  Tick(0);  // the other task: the window's save must carry this
  Click(Find("Command1"));
  Saver().WaitIdle();
  EXPECT_FALSE(Saver().Pending()) << "the window's save took the pending change";
  std::vector<SaveStep> steps;
  {
    std::lock_guard lock(gStepsMutex);
    steps = gSteps;
  }
  std::vector<SaveStep> two;  // every step of one save, then of the other
  for (int save = 0; save < 2; ++save)
    for (int step = 0; step <= static_cast<int>(SaveStep::FolderSynced); ++step)
      two.push_back(static_cast<SaveStep>(step));
  EXPECT_EQ(steps, two);
  EXPECT_EQ(Reloaded()->TaskChecked[3] + Reloaded()->TaskChecked[7], -2);
}

// The hour watch unticks a done task when its hour comes; that change is
// saved by itself, so a process killed afterwards loses nothing.
TEST_F(AutosaveTest, TheHourWatchesChangesAreSaved) {
  Start();
  Tick(0);
  ASSERT_TRUE(SettleDown());
  ASSERT_EQ(Reloaded()->TaskChecked[3], -1);
  gSaves = 0;
  clock.Set(At(2024, 3, 10, 15, 0));
  form->Life().Timer1_Timer();
  EXPECT_EQ(table->TaskChecked[3], 0);
  ASSERT_TRUE(SettleDown());
  EXPECT_EQ(gSaves, 1);
  EXPECT_EQ(Reloaded()->TaskChecked[3], 0);
}

}  // namespace
}  // namespace zelto::test
