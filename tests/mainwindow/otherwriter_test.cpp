// Another program writes content.txt while the window runs: its work is
// taken in (quietly, or merged with the changes here), never overwritten.
#include <QMessageBox>
#include <atomic>
#include <chrono>
#include <string_view>
#include <thread>
#include <utility>

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

  // A fresh window over tasks 3, 7 and 9, due every hour, none ticked.
  void Start() {
    form.reset();
    MessageBoxes::ClearAsked();
    *table = TaskTable{};
    AddTask(3, "Water the plants");
    AddTask(7, "Feed the cat");
    AddTask(9, "Call mum");
    WriteFileBytes(folder / "content.txt", FormatDataFile(*table));
    Form1Test::Start();
  }
  Autosave& Saver() { return *form->Life().AutoSave; }
  bool SavesSettle() {
    return QTest::qWaitFor([&] { return !Saver().Busy() && !Saver().Pending(); }, 10000);
  }
  std::unique_ptr<TaskTable> OnDisk() {
    auto loaded = MakeTaskTable();
    EXPECT_TRUE(LoadDataFile(*loaded, folder.path()).Read());
    return loaded;
  }
  // The other program changes content.txt and puts it back by a rename,
  // as sync programs and editors do.
  void Other(const std::function<void(TaskTable&)>& change) {
    auto theirs = OnDisk();
    change(*theirs);
    WriteFileBytes(folder / ".incoming", FormatDataFile(*theirs));
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
  void TickTask(int id) {  // or unticks it, in the Done view
    ListView1()->setFocus();
    SelectTask(id);
    QTest::keyClick(ListView1(), Qt::Key_Space);
  }
};

// Nothing unsaved here: the watch alone brings the other version in, in the
// same view, sort and selection, and nothing is asked or saved.
TEST_F(OtherWriterTest, WithoutLocalChangesTheOtherVersionIsShownQuietly) {
  const std::pair<int, int> selections[] = {{9, 9}, {3, 7}};  // 3 leaves ToDo
  for (const auto& [before, after] : selections) {
    SCOPED_TRACE(before);
    Start();
    ClickHeader(1);  // by text, descending
    SelectTask(before);
    Other([](TaskTable& t) {
      TickIn(t, 3);
      t.TaskText.Set(9, "Call mum tonight");
    });
    const std::string theirs = ReadFileBytes(folder / "content.txt");
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->List().RowCount() == 2; }, 10000));
    EXPECT_EQ(form->List().TaskIdAt(0), 7);
    EXPECT_EQ(form->List().CellText(1, 1), "Call mum tonight");
    EXPECT_EQ(form->List().SelectedTaskId(), after);
    EXPECT_TRUE(Find<QRadioButton>("Option1")->isChecked());
    EXPECT_TRUE(MessageBoxes::Asked().empty());
    EXPECT_FALSE(Saver().Pending());
    EXPECT_EQ(ReadFileBytes(folder / "content.txt"), theirs);
  }
}

// The selection stays on the task the user chose: a Re-count there gives its
// id to another task, an edit there keeps it at its id.
TEST_F(OtherWriterTest, TheSelectionFollowsItsTask) {
  const struct {
    const char* name;
    std::function<void(TaskTable&)> there;
    int before, after;
  } cases[] = {
      {"renumbered there", [](TaskTable& t) { RecountTasks(t); }, 3, 1},
      {"renamed there", [](TaskTable& t) { t.TaskText.Set(9, "Call mum tonight"); }, 9, 9},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Start();
    SelectTask(c.before);
    Other(c.there);
    form->Life().CheckDataFile();
    EXPECT_EQ(form->List().SelectedTaskId(), c.after);
    EXPECT_TRUE(MessageBoxes::Asked().empty());
  }
}

// A change here and others there: the saved file holds all of them, without
// a question, whether the watch or the next automatic save finds it first.
TEST_F(OtherWriterTest, LocalAndOtherChangesAreMergedAndSaved) {
  for (const bool byWatch : {true, false}) {
    SCOPED_TRACE(byWatch);
    Start();
    TickTask(3);
    Other([](TaskTable& t) {
      t.TaskText.Set(9, "Call mum tonight");
      t.TaskText.Set(12, "Pay rent");
    });
    byWatch ? form->Life().CheckDataFile() : Saver().SaveNow();
    ASSERT_TRUE(SavesSettle());
    const auto saved = OnDisk();
    EXPECT_EQ(saved->TaskChecked[3], -1);
    EXPECT_EQ(saved->TaskText[9], "Call mum tonight");
    EXPECT_EQ(saved->TaskText[12], "Pay rent");
    EXPECT_EQ(form->List().RowCount(), 3) << "7, 9 and 12";
    EXPECT_TRUE(MessageBoxes::Asked().empty());
  }
}

// What was last saved or taken in is the version both sides share from then
// on: the other program deleting a task that was changed before it is no
// conflict.
TEST_F(OtherWriterTest, TheLastSavedOrTakenVersionIsShared) {
  for (const char* how : {"automatic save", "save", "taken in"}) {
    SCOPED_TRACE(how);
    Start();
    if (std::string_view(how) == "taken in") {
      Other([](TaskTable& t) { t.TaskText.Set(9, "Call mum tonight"); });
      form->Life().CheckDataFile();
    } else {
      SelectTask(9);
      Click(Find("Command4"));
      Opened()->Text1->setText("Call mum tonight");
      QTest::keyClick(Opened()->Text1, Qt::Key_Return);
      std::string_view(how) == "save" ? (void)form->Life().SaveDataFile() : Saver().SaveNow();
    }
    ASSERT_TRUE(SavesSettle());
    ASSERT_EQ(table->TaskText[9], "Call mum tonight");
    TickTask(7);  // unsaved: the other version is merged
    Other([](TaskTable& t) { t.TaskText.Set(9, {}); });
    MessageBoxes::ClearAsked();
    MessageBoxes::SetNextAnswer(Answer::Yes);  // should it ask: Keep Mine
    form->Life().CheckDataFile();
    ASSERT_TRUE(SavesSettle());
    EXPECT_TRUE(MessageBoxes::Asked().empty());
    MessageBoxes::ClearScript();
    const auto saved = OnDisk();
    EXPECT_FALSE(saved->InUse(9));
    EXPECT_EQ(saved->TaskChecked[7], -1);
  }
}

// One task deleted here and changed there, one ticked at different hours:
// one question for the whole merge settles both.
TEST_F(OtherWriterTest, ConflictsAreAskedAboutOnce) {
  const struct {
    Answer answer;
    int roses, cats;  // tasks of these texts saved
    bool myTick;
  } cases[] = {{Answer::Yes, 0, 1, true}, {Answer::No, 1, 1, false}, {Answer::Cancel, 1, 2, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.answer));
    Start();
    SelectTask(3);
    MessageBoxes::SetNextAnswer(Answer::Yes);
    Click(Find("Command6"));
    TickTask(7);
    const DateTime myTick = table->CheckedDate[7];
    Other([](TaskTable& t) {
      t.TaskText.Set(3, "Water the roses");
      TickIn(t, 7);
      t.TaskText.Set(9, "Call mum tonight");  // theirs alone
    });
    MessageBoxes::ClearAsked();
    MessageBoxes::SetNextAnswer(c.answer);
    form->Life().CheckDataFile();
    ASSERT_TRUE(SavesSettle());
    ASSERT_EQ(MessageBoxes::Asked().size(), 1u);
    const QString question = MessageBoxes::Asked()[0].text;
    EXPECT_TRUE(question.contains("2 tasks") && question.contains("Water the roses") &&
                question.contains("Feed the cat"))
        << question.toStdString();
    const auto saved = OnDisk();
    int roses = 0, cats = 0;
    for (int id = 1; id <= kMaxTaskId; ++id) {
      roses += saved->TaskText[id] == "Water the roses";
      cats += saved->TaskText[id] == "Feed the cat";
    }
    EXPECT_EQ(roses, c.roses);
    EXPECT_EQ(cats, c.cats);
    EXPECT_EQ(saved->CheckedDate[7], c.myTick ? myTick.StartOfHour() : At(2024, 3, 10, 13, 0));
    EXPECT_EQ(saved->TaskText[9], "Call mum tonight");
  }
}

// In a full list "Keep Both" has no number for the other program's task:
// its whole file is kept beside content.txt, and the user is told.
TEST_F(OtherWriterTest, AFullListKeepsTheOtherFileWhole) {
  Start();
  for (int id = 1; id <= kMaxTaskId; ++id)
    if (!table->InUse(id)) table->TaskText.Set(id, "Filler " + std::to_string(id));
  table->TaskText.Set(3, "Water the plants here");
  form->Life().TableChanged();
  Other([](TaskTable& t) { t.TaskText.Set(3, "Water the roses"); });
  const std::string theirs = ReadFileBytes(folder / "content.txt");
  MessageBoxes::ClearAsked();
  MessageBoxes::SetNextAnswer(Answer::Cancel);  // Keep Both
  MessageBoxes::SetNextAnswer(Answer::Ok);
  form->Life().CheckDataFile();
  ASSERT_TRUE(SavesSettle());
  ASSERT_EQ(MessageBoxes::Asked().size(), 2u);
  EXPECT_TRUE(MessageBoxes::Asked()[1].text.startsWith("1 of the other program's tasks"));
  int copies = 0;
  for (const auto& entry : fs::directory_iterator(folder.path()))
    if (entry.path().filename().string().starts_with("content (kept ")) {
      ++copies;
      EXPECT_EQ(ReadFileBytes(entry.path()), theirs);
    }
  EXPECT_EQ(copies, 1);
  EXPECT_EQ(OnDisk()->TaskText[3], "Water the plants here");
}

// The question names each conflicting task in both versions where they
// differ, so that the user can see what each button keeps.
TEST_F(OtherWriterTest, TheConflictQuestionShowsBothVersions) {
  const struct {
    const char* name;
    int deletedHere;  // else task 9 is renamed here
    std::function<void(TaskTable&)> there;
    const char* shown;
  } cases[] = {
      {"renamed on both sides", 0, [](TaskTable& t) { t.TaskText.Set(9, "Call mum there"); },
       "\n    Call mum here\n      other program: Call mum there\n"},
      {"deleted here", 3, [](TaskTable& t) { t.TaskText.Set(3, "Water the roses"); },
       "\n    Water the roses (deleted in this list)\n"},
      {"deleted there", 0, [](TaskTable& t) { t.TaskText.Set(9, {}); },
       "\n    Call mum here (deleted by the other program)\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Start();
    if (c.deletedHere != 0) {
      SelectTask(c.deletedHere);
      MessageBoxes::SetNextAnswer(Answer::Yes);
      Click(Find("Command6"));
    } else {
      SelectTask(9);
      Click(Find("Command4"));
      Opened()->Text1->setText("Call mum here");
      QTest::keyClick(Opened()->Text1, Qt::Key_Return);
    }
    Other(c.there);
    MessageBoxes::ClearAsked();
    MessageBoxes::SetNextAnswer(Answer::Yes);
    form->Life().CheckDataFile();
    ASSERT_TRUE(SavesSettle());
    ASSERT_EQ(MessageBoxes::Asked().size(), 1u);
    const QString question = MessageBoxes::Asked()[0].text;
    EXPECT_TRUE(question.contains(c.shown)) << question.toStdString();
  }
}

// The session ends (a termination signal) while the merge question is open:
// the question waits for its answer, or returns as if closed (Keep Both) at a
// second request to end, and the merged list is saved before the program
// ends, without a failed save in between.
TEST_F(OtherWriterTest, TheSessionsEndWaitsForTheMergeQuestion) {
  for (const bool askedAgain : {false, true}) {
    SCOPED_TRACE(askedAgain ? "asked to end again" : "answered");
    Start();
    SelectTask(9);
    Click(Find("Command4"));
    Opened()->Text1->setText("Call mum here");
    QTest::keyClick(Opened()->Text1, Qt::Key_Return);
    Other([](TaskTable& t) { t.TaskText.Set(9, "Call mum there"); });
    MessageBoxes::ClearAsked();
    bool again = askedAgain;
    // Answers Keep Both, or asks to end again (and then, should the question
    // still be open, answers Keep Mine); closes any other box.
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      if (std::exchange(again, false)) return form->Life().EndSession();
      for (QAbstractButton* button : box->buttons())
        if (button->text() == (askedAgain ? "Keep Mine" : "Keep Both")) return button->click();
      box->close();
    });
    user.start(50);
    QTimer::singleShot(0, form.get(), [&] { form->Life().EndSession(); });
    form->Life().CheckDataFile();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Find<QTimer>("Timer1")->isActive(); }, 10000));
    ASSERT_EQ(MessageBoxes::Asked().size(), 1u) << MessageBoxes::Asked().back().text.toStdString();
    const auto saved = OnDisk();
    EXPECT_EQ(saved->TaskText[9], "Call mum here");
    EXPECT_EQ(saved->TaskText[1], "Call mum there");
  }
}

// A Re-count here: the whole file is kept, mine or theirs, and the other
// version lies beside it as a dated copy, never over an earlier one.
TEST_F(OtherWriterTest, ARenumberedSideIsKeptWholeAndTheOtherCopied) {
  for (const Answer answer : {Answer::Yes, Answer::No}) {
    SCOPED_TRACE(answer == Answer::Yes ? "mine" : "theirs");
    for (const auto& entry : fs::directory_iterator(folder.path())) fs::remove(entry.path());
    const fs::path earlier = folder / "content (kept 2024-03-10 1430).txt";
    WriteFileBytes(earlier, "earlier");
    Start();
    Click(Find("Command3"));  // 3, 7, 9 become 1, 2, 3
    Other([](TaskTable& t) { t.TaskText.Set(9, "Call mum tonight"); });
    const std::string theirs = ReadFileBytes(folder / "content.txt");
    const std::string mine = FormatDataFile(*table);
    MessageBoxes::SetNextAnswer(answer);
    form->Life().CheckDataFile();
    ASSERT_TRUE(SavesSettle());
    ASSERT_EQ(MessageBoxes::Asked().size(), 1u);
    EXPECT_EQ(MessageBoxes::Asked()[0].buttons, Buttons::YesNo);
    EXPECT_EQ(ReadFileBytes(earlier), "earlier");
    EXPECT_EQ(ReadFileBytes(folder / "content (kept 2024-03-10 1430 2).txt"),
              answer == Answer::Yes ? theirs : mine);
    EXPECT_EQ(OnDisk()->InUse(1), answer == Answer::Yes);
  }
}

// The watch sees the program's own rename while its save is still under
// way: taken for another program's file, it would be merged against the
// wrong base and undo the change made meanwhile.
TEST_F(OtherWriterTest, TheProgramsOwnSaveIsNotAnotherWriter) {
  Start();
  TickTask(3);
  gHoldAfterRename = true;
  Saver().SaveNow();
  ASSERT_TRUE(QTest::qWaitFor([] { return gHeld.load(); }, 10000));
  Click(Find("Option2"));
  TickTask(3);  // unticked again while the tick is being saved
  form->Life().CheckDataFile();
  gHoldAfterRename = false;
  ASSERT_TRUE(SavesSettle());
  QTest::qWait(3 * FileWatch::kQuietMs);  // the watch's own event, come and gone
  ASSERT_TRUE(SavesSettle());
  EXPECT_EQ(OnDisk()->TaskChecked[3], 0);
  EXPECT_TRUE(MessageBoxes::Asked().empty());
}

// A version that cannot be read is named once and replaces nothing; only a
// confirmed save would write over it.
TEST_F(OtherWriterTest, AnUnreadableVersionIsReportedOnceAndNotOverwritten) {
  Start();
  const std::string other = "Shopping\r\nMilk\r\n";
  WriteFileBytes(folder / "content.txt", other);
  MessageBoxes::SetNextAnswer(Answer::Ok);
  form->Life().CheckDataFile();
  form->Life().CheckDataFile();
  EXPECT_EQ(form->Life().DataFileError, 1);
  ASSERT_EQ(MessageBoxes::Asked().size(), 1u);
  EXPECT_TRUE(MessageBoxes::Asked()[0].text.contains(
      QString::fromStdString((folder / "content.txt").string() + " could not be loaded")));
  EXPECT_EQ(form->List().RowCount(), 3);
  TickTask(7);
  EXPECT_FALSE(Saver().Pending());
  MessageBoxes::SetNextAnswer(Answer::No);
  Click(Find("Command1"));
  EXPECT_TRUE(MessageBoxes::Asked().back().text.startsWith("There was an error opening"));
  EXPECT_EQ(ReadFileBytes(folder / "content.txt"), other);
}

// The other program puts a readable version back in place of one that could
// not be read (a half-written sync, a folder): the changes made here
// meanwhile merge with it against the version both shared before. After an
// unreadable file at start-up nothing was shared: only a confirmed save writes.
TEST_F(OtherWriterTest, AReadableVersionAfterAnUnreadableOneIsMergedWhereBothSharedOne) {
  for (const bool atStartUp : {false, true}) {
    SCOPED_TRACE(atStartUp ? "unreadable at start-up" : "unreadable while running");
    Start();
    const std::string shared = ReadFileBytes(folder / "content.txt");
    WriteFileBytes(folder / "content.txt", "Shopping\r\nMilk\r\n");
    MessageBoxes::SetNextAnswer(Answer::Ok);
    atStartUp ? Form1Test::Start() : form->Life().CheckDataFile();
    ASSERT_EQ(form->Life().DataFileError, 1);
    TickTask(7);
    WriteFileBytes(folder / "content.txt", shared);
    Other([](TaskTable& t) { t.TaskText.Set(9, "Call mum tonight"); });
    form->Life().CheckDataFile();
    ASSERT_TRUE(SavesSettle());
    const auto saved = OnDisk();
    EXPECT_EQ(saved->TaskText[9], "Call mum tonight");
    EXPECT_EQ(saved->TaskChecked[7], atStartUp ? 0 : -1);
    EXPECT_EQ(form->Life().DataFileError, atStartUp ? 1 : 0);
    EXPECT_EQ(MessageBoxes::Asked().size(), 1u) << "the unreadable version, once";
  }
}

// Another program writes content.txt in place, slowly: a version emptied or
// cut short mid-record is not taken at once, so neither its damage, nor the
// refresh of it, nor a merge that would read its missing tasks as deleted
// reaches the list. Left cut short, it is taken at the next look, with the
// message for the damaged task.
TEST_F(OtherWriterTest, AVersionEmptiedOrCutShortIsTakenOnlyOnceItStaysTheSame) {
  const struct {
    const char* name;
    bool emptied, completed, changeHere;
  } cases[] = {
      {"cut short, then completed", false, true, false},
      {"left cut short", false, false, false},
      {"emptied, then written, with a change here", true, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Start();
    if (c.changeHere) TickTask(3);
    Other([](TaskTable& t) {
      TickIn(t, 7);
      t.TaskText.Set(9, "Call mum tonight");
    });
    const std::string full = ReadFileBytes(folder / "content.txt");
    const std::string cut =
        c.emptied ? std::string() : full.substr(0, full.find("Call mum tonight") + 40);
    WriteFileBytes(folder / "content.txt", cut);
    MessageBoxes::SetNextAnswer(Answer::Ok);  // for the damaged task
    form->Life().CheckDataFile();
    EXPECT_EQ(table->TaskText[9], "Call mum");
    EXPECT_TRUE(MessageBoxes::Asked().empty());
    if (c.completed) WriteFileBytes(folder / "content.txt", full);
    form->Life().CheckDataFile();
    EXPECT_EQ(table->TaskText[9], "Call mum tonight");
    EXPECT_EQ(table->TaskChecked[7], -1);
    EXPECT_EQ(table->TaskChecked[3], c.changeHere ? -1 : 0);
    EXPECT_EQ(MessageBoxes::Asked().size(), c.completed ? 0u : 1u);
    MessageBoxes::ClearScript();
    ASSERT_TRUE(SavesSettle());
  }
}

// The editor's task may change under it: the other version waits until
// the editor closes.
TEST_F(OtherWriterTest, TheOpenEditorHoldsTheReloadBack) {
  Start();
  SelectTask(7);
  Click(Find("Command4"));
  Other([](TaskTable& t) { t.TaskText.Set(7, "Feed the dog"); });
  form->Life().CheckDataFile();
  EXPECT_EQ(table->TaskText[7], "Feed the cat");
  QTest::keyClick(Opened(), Qt::Key_Escape);
  ASSERT_TRUE(QTest::qWaitFor([&] { return table->TaskText[7] == "Feed the dog"; }, 10000));
}

// A sync program's conflict copies are named once each, at start-up and as
// they appear; the program's own kept copy is none.
TEST_F(OtherWriterTest, ConflictCopiesAreNamedOnceEach) {
  const fs::path early = folder / "content (conflicted copy).txt";
  const fs::path later = folder / "content.sync-conflict-20240310-143000-ABCDEFG.txt";
  for (const fs::path& file : {early, folder / "content (kept 2024-03-10 1400).txt"})
    WriteFileBytes(file, "*****\r\n*** end\r\n");
  MessageBoxes::SetNextAnswer(Answer::Ok);
  Start();
  WriteFileBytes(later, "");
  MessageBoxes::SetNextAnswer(Answer::Ok);
  form->Life().CheckDataFile();
  form->Life().CheckDataFile();
  std::vector<QString> named;
  for (const auto& question : MessageBoxes::Asked())
    named.push_back(question.detail.section('\n', 0, 0));
  EXPECT_EQ(named, (std::vector<QString>{QString::fromStdString(early.string()),
                                         QString::fromStdString(later.string())}));
}

}  // namespace
}  // namespace zelto::test
