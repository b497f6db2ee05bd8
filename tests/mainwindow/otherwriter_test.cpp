// Another program writes content.txt while the window runs: its work is
// taken in (quietly, or merged with the changes here), never overwritten.
#include <QSignalSpy>
#include <atomic>
#include <chrono>
#include <thread>

#include "form1_fixture.h"
#include "mainwindow/autosave.h"
#include "platform/filewatch.h"

namespace zelto::test {
namespace {

namespace fs = std::filesystem;

std::atomic<bool> gHoldAfterRename{false};
std::atomic<bool> gHeld{false};

// Holds the writer thread just after its rename, while the watch already
// sees the new file.
void HoldAfterRename(SaveStep step) {
  if (step != SaveStep::Replaced || !gHoldAfterRename) return;
  gHeld = true;
  while (gHoldAfterRename) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  gHeld = false;
}

class OtherWriterTest : public Form1Test {
 protected:
  void SetUp() override {
    Form1Test::SetUp();
    SetSaveStepHookForTesting(HoldAfterRename);
  }
  void TearDown() override {
    gHoldAfterRename = false;
    form.reset();
    SetSaveStepHookForTesting(nullptr);
    Form1Test::TearDown();
  }

  // Tasks 3, 7 and 9, due every hour, none ticked.
  void Start() {
    AddTask(3, "Water the plants");
    AddTask(7, "Feed the cat");
    AddTask(9, "Call mum");
    WriteFileBytes(folder / "content.txt", FormatDataFile(*table));
    Form1Test::Start();
    written = std::make_unique<QSignalSpy>(&Saver(), &Autosave::Written);
  }
  Autosave& Saver() { return *form->Life().AutoSave; }
  std::unique_ptr<TaskTable> OnDisk() {
    auto loaded = MakeTaskTable();
    EXPECT_TRUE(LoadDataFile(*loaded, folder.path()).Read());
    return loaded;
  }
  // The other program: reads content.txt, changes it and puts it back by
  // a rename, as sync programs and editors do.
  void Other(const std::function<void(TaskTable&)>& change) {
    auto theirs = OnDisk();
    change(*theirs);
    ReplaceContent(FormatDataFile(*theirs));
  }
  void ReplaceContent(const std::string& bytes) {
    WriteFileBytes(folder / ".incoming", bytes);
    fs::rename(folder / ".incoming", folder / "content.txt");
  }
  static void TickIn(TaskTable& t, int id) {
    t.TaskChecked[id] = -1;
    t.CheckedDate[id] = At(2024, 3, 10, 13, 0);
  }
  void SelectTask(int id) {
    for (int row = 0; row < form->List().RowCount(); ++row)
      if (form->List().TaskIdAt(row) == id) return SelectRow(row);
    ADD_FAILURE() << "no row for task " << id;
  }
  // Ticks (or unticks) the row of task `id` in the current view.
  void TickTask(int id) {
    ListView1()->setFocus();
    SelectTask(id);
    QTest::keyClick(ListView1(), Qt::Key_Space);
  }
  bool SavesSettle() {
    return QTest::qWaitFor([&] { return !Saver().Busy() && !Saver().Pending(); }, 10000);
  }
  std::vector<int> Ids() const {
    std::vector<int> ids;
    for (int row = 0; row < form->List().RowCount(); ++row)
      ids.push_back(form->List().TaskIdAt(row));
    return ids;
  }
  std::unique_ptr<QSignalSpy> written;
};

// Nothing unsaved here: the other program's version is shown as it is, in
// the same view, sort and selection; the watch alone brings it in.
TEST_F(OtherWriterTest, WithoutLocalChangesTheOtherVersionIsShownQuietly) {
  const struct {
    const char* what;
    int selected;
    std::vector<int> rows;  // by text, descending
    std::optional<int> selectedAfter;
  } cases[] = {
      {"the selection stays", 9, {7, 9}, 9},
      {"the selected task left the view", 3, {7, 9}, 7},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MessageBoxes::ClearAsked();
    *table = TaskTable{};
    Start();
    ClickHeader(1);
    ASSERT_EQ(Ids(), (std::vector<int>{3, 7, 9}));
    SelectTask(c.selected);
    Other([](TaskTable& t) {
      TickIn(t, 3);
      t.TaskText[9] = "Call mum tonight";
    });
    const std::string theirs = ReadFileBytes(folder / "content.txt");
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->List().RowCount() == 2; }, 10000));
    EXPECT_EQ(Ids(), c.rows);
    EXPECT_EQ(form->List().CellText(1, 1), "Call mum tonight");
    EXPECT_EQ(form->List().SelectedTaskId(), c.selectedAfter);
    EXPECT_EQ(form->List().HeaderImage(2), 2) << "still sorted by text, descending";
    EXPECT_TRUE(Find<QRadioButton>("Option1")->isChecked());
    EXPECT_TRUE(MessageBoxes::Asked().empty());
    EXPECT_FALSE(Saver().Pending()) << "nothing new to save";
    EXPECT_EQ(ReadFileBytes(folder / "content.txt"), theirs);
    form.reset();
  }
}

// A change here and another there: the saved file holds both, without a
// question, whether the watch or the next automatic save finds it first.
TEST_F(OtherWriterTest, LocalAndOtherChangesAreMergedAndSaved) {
  for (const bool byWatch : {true, false}) {
    SCOPED_TRACE(byWatch ? "watch" : "automatic save");
    *table = TaskTable{};
    Start();
    TickTask(3);
    Other([](TaskTable& t) {
      t.TaskText[9] = "Call mum tonight";
      t.TaskText[12] = "Pay rent";
    });
    if (byWatch) {
      form->Life().CheckDataFile();
    } else {
      Saver().SaveNow();
    }
    ASSERT_TRUE(SavesSettle());
    const auto saved = OnDisk();
    EXPECT_EQ(saved->TaskChecked[3], -1) << "mine";
    EXPECT_EQ(saved->TaskText[9], "Call mum tonight") << "theirs";
    EXPECT_EQ(saved->TaskText[12], "Pay rent") << "theirs";
    EXPECT_EQ(form->List().RowCount(), 3) << "7, 9 and 12 in ToDo";
    EXPECT_TRUE(MessageBoxes::Asked().empty());
    form.reset();
  }
}

// Both sides changed the same tasks differently (one deleted here and
// changed there, one ticked at different hours): one question for the
// whole merge, and the answer settles every conflict.
TEST_F(OtherWriterTest, ConflictsAreAskedAboutOnce) {
  const struct {
    Answer answer;
    int roses, cats;  // tasks of that text in the saved file
    bool myTick7;
  } cases[] = {
      {Answer::Yes, 0, 1, true},
      {Answer::No, 1, 1, false},
      {Answer::Cancel, 1, 2, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.answer));
    *table = TaskTable{};
    Start();
    SelectTask(3);
    MessageBoxes::SetNextAnswer(Answer::Yes);
    Click(Find("Command6"));  // deletes "Water the plants"
    ASSERT_FALSE(table->InUse(3));
    TickTask(7);
    const DateTime myTick = table->CheckedDate[7];
    Other([](TaskTable& t) {
      t.TaskText[3] = "Water the roses";
      TickIn(t, 7);
      t.TaskText[9] = "Call mum tonight";  // no conflict: theirs alone
    });
    MessageBoxes::ClearAsked();
    MessageBoxes::SetNextAnswer(c.answer);
    form->Life().CheckDataFile();
    ASSERT_TRUE(SavesSettle());
    ASSERT_EQ(MessageBoxes::Asked().size(), 1u);
    const auto& question = MessageBoxes::Asked()[0];
    EXPECT_EQ(question.buttons, Buttons::YesNoCancel);
    EXPECT_TRUE(question.text.contains("2 tasks")) << question.text.toStdString();
    EXPECT_TRUE(question.text.contains("Water the roses") &&
                question.text.contains("Feed the cat"));
    const auto saved = OnDisk();
    int roses = 0, cats = 0;
    for (int id = 1; id <= kMaxTaskId; ++id) {
      roses += saved->TaskText[id] == "Water the roses";
      cats += saved->TaskText[id] == "Feed the cat";
    }
    EXPECT_EQ(roses, c.roses);
    EXPECT_EQ(cats, c.cats);
    EXPECT_EQ(saved->CheckedDate[7], c.myTick7 ? myTick.StartOfHour() : At(2024, 3, 10, 13, 0));
    EXPECT_EQ(saved->TaskText[9], "Call mum tonight");
    form.reset();
  }
}

// A Re-count on one side: the whole file is kept, mine or theirs, and the
// other version lies beside it as a dated copy.
TEST_F(OtherWriterTest, ARenumberedSideIsKeptWholeAndTheOtherCopied) {
  for (const Answer answer : {Answer::Yes, Answer::No}) {
    SCOPED_TRACE(answer == Answer::Yes ? "mine" : "theirs");
    for (const auto& entry : fs::directory_iterator(folder.path())) fs::remove(entry.path());
    *table = TaskTable{};
    Start();
    Click(Find("Command3"));  // Re-count: 3, 7, 9 become 1, 2, 3
    Other([](TaskTable& t) { t.TaskText[9] = "Call mum tonight"; });
    const std::string theirs = ReadFileBytes(folder / "content.txt");
    const std::string mine = FormatDataFile(*table);
    MessageBoxes::SetNextAnswer(answer);
    form->Life().CheckDataFile();
    ASSERT_TRUE(SavesSettle());
    ASSERT_EQ(MessageBoxes::Asked().size(), 1u);
    EXPECT_EQ(MessageBoxes::Asked()[0].buttons, Buttons::YesNo);
    const fs::path copy = folder / "content (kept 2024-03-10 1430).txt";
    ASSERT_TRUE(fs::exists(copy));
    EXPECT_EQ(ReadFileBytes(copy), answer == Answer::Yes ? theirs : mine);
    EXPECT_EQ(OnDisk()->InUse(1), answer == Answer::Yes);
    EXPECT_EQ(OnDisk()->InUse(9), answer == Answer::No);
    MessageBoxes::ClearAsked();
    form.reset();
  }
}

// The watch sees the program's own rename while the save is still under
// way: taking that file for another program's would merge it against the
// wrong base and undo the change made meanwhile.
TEST_F(OtherWriterTest, TheProgramsOwnSaveIsNotAnotherWriter) {
  Start();
  TickTask(3);
  gHoldAfterRename = true;
  Saver().SaveNow();
  ASSERT_TRUE(QTest::qWaitFor([] { return gHeld.load(); }, 10000));
  ASSERT_EQ(OnDisk()->TaskChecked[3], -1) << "renamed into place";
  Click(Find("Option2"));
  TickTask(3);  // unticked again, while the save of the tick is under way
  form->Life().CheckDataFile();
  gHoldAfterRename = false;
  ASSERT_TRUE(SavesSettle());
  QTest::qWait(3 * FileWatch::kQuietMs);  // the watch's own event, come and gone
  ASSERT_TRUE(SavesSettle());
  EXPECT_EQ(OnDisk()->TaskChecked[3], 0);
  EXPECT_EQ(table->TaskChecked[3], 0);
  EXPECT_TRUE(MessageBoxes::Asked().empty());
}

// A version that cannot be read is said once, by name, and replaces
// nothing: the table stays, and only a confirmed save writes.
TEST_F(OtherWriterTest, AnUnreadableVersionIsReportedOnceAndNotOverwritten) {
  const struct {
    const char* what;
    std::function<void()> make;
    const char* reason;
  } cases[] = {
      {"not a data file", [this] { ReplaceContent("Shopping\r\nMilk\r\n"); },
       "its first line is not"},
      {"a folder",
       [this] {
         fs::remove(folder / "content.txt");
         fs::create_directory(folder / "content.txt");
       },
       "it is a folder"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(folder / "content.txt");
    MessageBoxes::ClearAsked();
    *table = TaskTable{};
    Start();
    c.make();
    const auto before = fs::is_directory(folder / "content.txt")
                            ? std::string("folder")
                            : ReadFileBytes(folder / "content.txt");
    MessageBoxes::SetNextAnswer(Answer::Ok);
    form->Life().CheckDataFile();
    form->Life().CheckDataFile();
    EXPECT_EQ(form->Life().DataFileError, 1);
    ASSERT_EQ(MessageBoxes::Asked().size(), 1u);
    EXPECT_TRUE(MessageBoxes::Asked()[0].text.contains(
        QString::fromStdString((folder / "content.txt").string())));
    EXPECT_TRUE(MessageBoxes::Asked()[0].text.contains(c.reason));
    EXPECT_EQ(form->List().RowCount(), 3) << "the table stays";
    TickTask(7);
    EXPECT_FALSE(Saver().Pending());
    MessageBoxes::SetNextAnswer(Answer::No);
    Click(Find("Command1"));
    EXPECT_TRUE(MessageBoxes::Asked().back().text.startsWith("There was an error opening"));
    EXPECT_EQ(fs::is_directory(folder / "content.txt") ? std::string("folder")
                                                       : ReadFileBytes(folder / "content.txt"),
              before);
    form.reset();
  }
}

// The editor's task may change under it: the other version waits until
// the editor closes.
TEST_F(OtherWriterTest, TheOpenEditorHoldsTheReloadBack) {
  Start();
  SelectTask(7);
  Click(Find("Command4"));
  Form2* editor = Opened();
  Other([](TaskTable& t) { t.TaskText[7] = "Feed the dog"; });
  form->Life().CheckDataFile();
  EXPECT_EQ(table->TaskText[7], "Feed the cat");
  QTest::keyClick(editor, Qt::Key_Escape);
  ASSERT_TRUE(QTest::qWaitFor([&] { return table->TaskText[7] == "Feed the dog"; }, 10000));
  EXPECT_TRUE(MessageBoxes::Asked().empty());
}

// Conflict copies a sync program leaves beside the data file are named
// once each: at start-up, and as they appear.
TEST_F(OtherWriterTest, ConflictCopiesAreNamedOnceEach) {
  const auto named = [](const fs::path& file) {
    int count = 0;
    for (const auto& question : MessageBoxes::Asked())
      count += question.detail.startsWith(QString::fromStdString(file.string()));
    return count;
  };
  const fs::path early = folder / "content (conflicted copy).txt";
  const fs::path later = folder / "content.sync-conflict-20240310-143000-ABCDEFG.txt";
  WriteFileBytes(early, "*****\r\n*** end\r\n");
  WriteFileBytes(folder / "content (kept 2024-03-10 1400).txt", "ours");
  MessageBoxes::SetNextAnswer(Answer::Ok);
  Start();
  EXPECT_EQ(named(early), 1);
  EXPECT_EQ(MessageBoxes::Asked().size(), 1u) << "the kept copy is the program's own";
  WriteFileBytes(later, "*****\r\n*** end\r\n");
  MessageBoxes::SetNextAnswer(Answer::Ok);
  form->Life().CheckDataFile();
  form->Life().CheckDataFile();
  EXPECT_EQ(named(early), 1);
  EXPECT_EQ(named(later), 1);
}

}  // namespace
}  // namespace zelto::test
