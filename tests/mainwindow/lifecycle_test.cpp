// Form1's start-up, placement, notification-area icon and hour watch, on
// the offscreen platform with a fake clock.
#include <QApplication>
#include <QTimer>
#include <array>

#include "form1_fixture.h"
#include "mainwindow/placement.h"
#include "platform/tray.h"

namespace zelto::test {
namespace {

class LifecycleTest : public Form1Test {
 protected:
  void SetUp() override {
    TrayIcon::SetAvailableForTests(true);
    Form1Test::SetUp();
  }
  void TearDown() override {
    form.reset();
    TrayIcon::SetAvailableForTests(std::nullopt);
    Form1Test::TearDown();
  }
};

TEST_F(LifecycleTest, StartAppliesThePositionFile) {
  Start("-300\t90\t6000\t7995\t0\r\n700\t3000.5\t2100\r\n2\t1\t0\t0\r\n");
  EXPECT_EQ(form->Life().DataFileError, 1) << "no content.txt";
  EXPECT_EQ(form->Life().HourWatch1.PreviousHour, 100);
  EXPECT_TRUE(Find<QTimer>("Timer1")->isActive());
  EXPECT_FALSE(Find<QTimer>("Timer2")->isActive());
  EXPECT_EQ(form->frameGeometry(), QRect(0, 0, 400, 533)) << "off the screen: to the corner";
  EXPECT_EQ(form->List().SortKey(), 2);
  EXPECT_EQ(form->List().HeaderImage(3), 2);
  // Untouched columns keep their exact widths; a resized one is written anew.
  ListView1()->header()->resizeSection(1, 210);
  EXPECT_EQ(form->PositionFileText(), "0\t0\t6000\t7995\t0\r\n700\t3150\t2100\r\n2\t1\t0\t0\r\n");
}

// A window or a column far larger than the screen, from a damaged or
// foreign file, is brought down to what the screen can show; sizes no window
// system takes leave the design ones.
TEST_F(LifecycleTest, HugePlacementIsKeptToTheScreen) {
  const QSize screen = AvailableScreenSize();
  ASSERT_GT(screen.width(), 385);
  ASSERT_GT(screen.height(), 475);
  const struct {
    const char* position;
    QSize size;
    int firstColumn;
  } cases[] = {
      {"0\t0\t491505\t491505\t0\r\n491505\t3100\t2000\r\n", screen, screen.width()},
      {"0\t0\t491505\t6000\t0\r\n", QSize(screen.width(), 400), 43},
      {"0\t0\t5000\t6000\t0\r\n30000\t3100\t2000\r\n", QSize(333, 400), 333},
      {"0\t0\t3000\t1500\t0\r\n700\t3100\t2000\r\n", QSize(200, 100), 47},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.position);
    form.reset();
    Start(c.position);
    EXPECT_EQ(form->frameGeometry().size(), c.size);
    EXPECT_EQ(ListView1()->header()->sectionSize(0), c.firstColumn);
  }
  form.reset();
  Start("10\t10\t1e30\t9000\t0\r\n1e30\t3100\t2000\r\n");
  EXPECT_EQ(form->size(), QSize(385, 475));
  EXPECT_EQ(ListView1()->header()->sectionSize(0), 43);
}

// Without a notification area the window stays on the taskbar; with one it
// goes to the tray and comes back on a button's release.
TEST_F(LifecycleTest, MinimiseToTrayAndBackOnButtonRelease) {
  TrayIcon::SetAvailableForTests(false);
  Start();
  Minimize();
  EXPECT_TRUE(form->isVisible() && form->isMinimized());
  EXPECT_EQ(form->Life().Tray, nullptr);

  TrayIcon::SetAvailableForTests(true);
  form.reset();
  Start();
  form->showMaximized();
  QApplication::processEvents();
  ASSERT_TRUE(form->isMaximized());
  const Placement before = form->WindowPlacement();
  EXPECT_EQ(before.RestoreWindowState, 2);
  EXPECT_EQ(before.WindowWidth, form->frameGeometry().width() * 15);

  Minimize();
  EXPECT_FALSE(form->isVisible());
  ASSERT_NE(form->Life().Tray, nullptr);
  EXPECT_TRUE(form->Life().Tray->IsShown());
  EXPECT_EQ(form->Life().Tray->ToolTip(), "Zelto Todo List");
  EXPECT_EQ(form->WindowPlacement().WindowWidth, before.WindowWidth)
      << "minimising records nothing";

  for (auto reason : {QSystemTrayIcon::DoubleClick, QSystemTrayIcon::MiddleClick}) {
    form->Life().Tray->OnActivated(reason);
    QApplication::processEvents();
    EXPECT_FALSE(form->isVisible());
  }
  form->Life().Tray->OnActivated(QSystemTrayIcon::Context);
  QApplication::processEvents();
  EXPECT_TRUE(form->isVisible());
  EXPECT_TRUE(form->isMaximized()) << "back in the state it had";
  EXPECT_FALSE(form->Life().Tray->IsShown());
}

// Minimised while a question is open over it, the window stays on the
// taskbar: hidden, the question would go with it, and the icon, blocked by
// the question, could bring neither back.
TEST_F(LifecycleTest, UnderAQuestionTheWindowStaysOnTheTaskbar) {
  WriteTask(5, "Task 5", 9, 0);
  Start();
  SelectRow(0);
  bool visible = false, minimized = false;
  QTimer::singleShot(0, form.get(), [&] {
    Minimize();
    visible = form->isVisible();
    minimized = form->isMinimized();
    if (QWidget* box = QApplication::activeModalWidget())
      box->close();  // No: nothing is deleted
    else
      ADD_FAILURE() << "no question open";
  });
  Click(Find("Command6"));
  EXPECT_TRUE(visible && minimized);
  EXPECT_FALSE(form->Life().Tray && form->Life().Tray->IsShown());
  EXPECT_EQ(table->TaskText[5], "Task 5");
}

// A ticked task falling due brings the hidden window back in the ToDo view,
// at the change of the hour as at a minimised start after it fell due; an
// unticked one leaves it hidden.
TEST_F(LifecycleTest, ADoneTaskFallingDueBringsTheWindowBack) {
  const struct {
    const char* what;
    int16_t checked;
    bool atStart;
  } cases[] = {{"done, at the hour", -1, false},
               {"not done, at the hour", 0, false},
               {"done, started minimised later", -1, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    form.reset();
    clock.Set(At(2024, 3, 10, 14, 30));
    WriteTask(5, "Task 5", 15, c.checked);
    if (c.atStart) {
      clock.Set(At(2024, 3, 10, 16, 0));
      Start("150\t90\t6000\t7995\t1\r\n");
    } else {
      Start();
      Click(Find("Option2"));
      Minimize();
      ASSERT_FALSE(form->isVisible());
      clock.Set(At(2024, 3, 10, 15, 0));
      form->Life().Timer1_Timer();
      QApplication::processEvents();
    }
    const bool back = c.checked == -1;
    EXPECT_EQ(table->TaskChecked[5], 0);
    EXPECT_EQ(form->Life().RestoreRequest, 0);
    EXPECT_EQ(form->isVisible(), back);
    EXPECT_EQ(form->Life().Tray && form->Life().Tray->IsShown(), !back);
    if (back) {
      EXPECT_FALSE(form->isMinimized());
      EXPECT_TRUE(Find("Option1")->isChecked());
      EXPECT_EQ(form->List().HeaderText(3), "Previous occurence");
      EXPECT_EQ(form->List().RowCount(), 1);
    }
  }
}

// Start-up tells of every task cut short in the data file and of a file
// there that could not be loaded; after such a file the next save asks
// before writing.
TEST_F(LifecycleTest, StartUpReportsWhatTheDataFileHeld) {
  const std::string mask = "1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1\r\n";
  const std::string task =
      " 4 \r\nfour\r\n1899-12-30-00\t\t\r\n0,1,18,12,2011\r\n" + mask + mask + mask + mask;
  const std::string refused =
      "The data file " + (folder / "content.txt").string() + " could not be loaded (";
  std::string crOnly = "\xEF\xBB\xBF***** \r\n" + task + "*** end\r\n";
  std::erase(crOnly, '\n');
  const struct {
    const char* name;
    std::string bytes;                  // empty: a folder
    std::vector<std::string> messages;  // each one's start
    int DataFileError, rows;
  } cases[] = {
      {"with a mark, CR alone and a blank", crOnly, {}, 0, 1},
      {"two cut short",
       "*****\r\n 2 \r\nzwei\r\nx\r\n*****\r\n 1 \r\neins\r\n*****\r\n" + task + "*** end\r\n",
       {"Error for task: zwei", "Error for task: eins"},
       0,
       3},
      {"notes", "Buy milk\r\n", {refused + "its first line is not"}, 1, 0},
      {"a folder", "", {refused + "it is a folder)"}, 1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(folder / "content.txt");
    if (c.bytes.empty()) std::filesystem::create_directory(folder / "content.txt");
    if (!c.bytes.empty()) WriteFileBytes(folder / "content.txt", c.bytes);
    MessageBoxes::ClearAsked();
    for (std::size_t i = 0; i < c.messages.size(); ++i) MessageBoxes::SetNextAnswer(Answer::Ok);
    form.reset();
    table = MakeTaskTable();
    Start();
    const auto asked = MessageBoxes::Asked();
    ASSERT_EQ(asked.size(), c.messages.size());
    for (std::size_t i = 0; i < asked.size(); ++i) {
      EXPECT_TRUE(asked[i].text.startsWith(QString::fromStdString(c.messages[i])))
          << asked[i].text.toStdString();
      EXPECT_EQ(asked[i].title, "Zelto Todo List");
      EXPECT_EQ(asked[i].buttons, Buttons::Ok);
    }
    EXPECT_EQ(form->Life().DataFileError, c.DataFileError);
    EXPECT_EQ(form->List().RowCount(), c.rows);
  }
}

// A task whose ID names no place in the table cannot be loaded, and the
// next save would drop it: start-up names it and keeps the file as it was
// beside content.txt before anything is saved over it.
TEST_F(LifecycleTest, AFileWithATaskThatCannotBeLoadedIsKeptBeforeItIsSavedOver) {
  const std::string mask = "1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1\r\n";
  const std::string rest = "1899-12-30-00\t\t\r\n0,1,18,12,2011\r\n" + mask + mask + mask + mask;
  const std::string file =
      "*****\r\n 2x \r\nzwei\r\n" + rest + "*****\r\n 4 \r\nfour\r\n" + rest + "*** end\r\n";
  // The program loads the file before its window exists; a window started
  // without that load reads the file itself.
  for (const bool earlyLoad : {true, false}) {
    SCOPED_TRACE(earlyLoad ? "loaded early" : "loaded by the window");
    form.reset();
    for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
      std::filesystem::remove(entry.path());
    WriteFileBytes(folder / "content.txt", file);
    MessageBoxes::ClearAsked();
    MessageBoxes::SetNextAnswer(Answer::Ok);
    if (earlyLoad) {
      EarlyLoad early = LoadEarly(folder.path());
      table = std::move(early.table);
      form = std::make_unique<Form1>(*table, clock, prompter, folder.path());
      form->Life().StartUp(&early);
    } else {
      table = MakeTaskTable();
      Start();
    }
    const auto asked = MessageBoxes::Asked();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].text,
              "The task \"zwei\" in the data file could not be loaded: its ID is not a number "
              "from 0 to 10000.");
    std::vector<std::filesystem::path> kept;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
      if (entry.path().filename().string().starts_with("content (kept "))
        kept.push_back(entry.path());
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(ReadFileBytes(kept[0]), file);
    EXPECT_EQ(asked[0].detail,
              "The data file as it was is kept as " + QString::fromStdString(kept[0].string()));
    EXPECT_EQ(form->Life().DataFileError, 0) << "kept: the save need not ask";
    EXPECT_EQ(form->List().RowCount(), 1);

    Click(Find("Command1"));  // Refresh list & Save
    EXPECT_EQ(MessageBoxes::Asked().size(), 1u);
    EXPECT_EQ(ReadFileBytes(folder / "content.txt").find("zwei"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(kept[0]), file);
  }
}

// Start-up loads content.txt before the window exists; the window takes
// that load only while the file is still the one read, since another
// program may have replaced it in between (or made it, or made it readable).
TEST_F(LifecycleTest, AnEarlyLoadIsTakenOnlyWhileTheFileIsUnchanged) {
  const auto write = [&](std::vector<std::string> texts) {
    auto written = MakeTaskTable();
    std::swap(table, written);
    for (std::size_t i = 0; i < texts.size(); ++i) AddTask(static_cast<int>(i) + 1, texts[i]);
    std::swap(table, written);
    WriteFileBytes(folder / "content.tmp", FormatDataFile(*written));
    std::filesystem::rename(folder / "content.tmp", folder / "content.txt");
  };
  const struct {
    const char* name;
    bool fileAtFirst, replaced;
    std::vector<QString> texts;
  } cases[] = {
      {"unchanged: taken as loaded", true, false, {"taken", "two", "three"}},
      {"replaced: read again", true, true, {"new one"}},
      {"made meanwhile: read", false, true, {"new one"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    form.reset();
    std::filesystem::remove(folder / "content.txt");
    if (c.fileAtFirst) write({"one", "two", "three"});
    EarlyLoad early = LoadEarly(folder.path());
    // Marks what only the early load holds.
    if (early.table->InUse(1)) early.table->TaskText.Set(1, "taken");
    if (c.replaced) write({"new one"});
    table = std::move(early.table);
    form = std::make_unique<Form1>(*table, clock, prompter, folder.path());
    form->Life().StartUp(&early);
    EXPECT_EQ(Column(1), c.texts);
    EXPECT_EQ(form->Life().DataFileError, 0);
    EXPECT_EQ(table->InUse(2), !c.replaced) << "nothing of the early load is left";
  }
}

// Started minimised, the window goes straight to the tray. The session's
// end while it sits there still saves, and the icon goes.
TEST_F(LifecycleTest, SessionEndWhileHiddenSavesAndRemovesTheIcon) {
  WriteTask(5, "Task 5", 9, -1);
  Start("150\t90\t6000\t7995\t1\r\n");
  EXPECT_FALSE(form->isVisible());
  ASSERT_TRUE(form->Life().Tray->IsShown());
  std::filesystem::remove(folder / "content.txt");
  form->Life().EndSession();
  EXPECT_FALSE(form->Life().Tray->IsShown());
  EXPECT_FALSE(Find<QTimer>("Timer1")->isActive());
  EXPECT_NE(ReadFileBytes(folder / "content.txt").find("Task 5"), std::string::npos);
  EXPECT_EQ(ReadFileBytes(folder / "position.txt").substr(0, 20), "150\t90\t6000\t7995\t1\r\n")
      << "start-up's move is recorded although the window is hidden";
}

// The close button of the main window, disabled behind an open editor,
// brings the editor forward and closes nothing; the session's end still
// saves and ends (the edit in progress is then lost).
TEST_F(LifecycleTest, CloseWhileTheEditorIsOpenBringsTheEditorForward) {
  WriteTask(5, "Task 5", 9, 0);
  Start();
  Form2* editor = OpenNew();
  QTest::keyClicks(editor->Text1, "half typed");
  editor->showMinimized();
  std::filesystem::remove(folder / "content.txt");
  for (int attempt = 0; attempt < 2; ++attempt) {
    EXPECT_FALSE(form->close());
    EXPECT_TRUE(form->isVisible());
    ASSERT_EQ(form->Editor(), editor);
    EXPECT_FALSE(editor->isMinimized());
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == editor; }));
    EXPECT_FALSE(std::filesystem::exists(folder / "content.txt")) << "nothing saved";
  }
  EXPECT_EQ(editor->Text1->text(), "half typed");

  form->Life().EndSession();
  EXPECT_TRUE(form->close());
  EXPECT_NE(ReadFileBytes(folder / "content.txt").find("Task 5"), std::string::npos);
  EXPECT_EQ(ReadFileBytes(folder / "content.txt").find("half typed"), std::string::npos);
}

// A data file of the oldest format: every record unticked, every rule box
// ticked, occurrences as the texts given.
std::string OldestFormat(std::initializer_list<std::array<const char*, 3>> tasks) {
  std::string ones = "1";
  for (int k = 1; k < 31; ++k) ones += ",1";
  std::string file;
  int id = 0;
  for (const auto& [text, previous, next] : tasks) {
    file += "***\r\n" + std::to_string(++id) + "\r\n" + text + "\r\n12/18/2011\t" + previous +
            "\t" + next + "\r\n0\r\n";
    for (int mask = 0; mask < 4; ++mask) file += ones + "\r\n";
  }
  return file + "*** end\r\n";
}

// Dates the oldest format kept as text show and sort as dates; the table
// keeps the text.
TEST_F(LifecycleTest, OldestFormatDatesShowAndSortAsDates) {
  WriteFileBytes(folder / "content.txt",
                 OldestFormat({{"one", "3/9/2024 9:00 PM", "3/11/2024 9:00 PM"},
                               {"two", "12/31/2023 8:00 AM", "3/11/2024 8:00 AM"},
                               {"three", "2024-03-10 02:00", "2024-03-11 02:00"},
                               {"four", "!!! Error !!!", "!!! Error !!!"},
                               {"five", "More than 1 year", "3/11/2024 1:00 AM"}}));
  Start("0\t0\t6000\t7995\t0\r\n650\t3100\t2000\r\n2\t0\t0\t0\r\n");
  EXPECT_EQ(Column(0), (Cells{"4", "2", "1", "3", "5"}));
  EXPECT_EQ(Column(2), (Cells{"!!! Error !!!", "2023-12-31 Sun 08:00", "2024-03-09 Sat 21:00",
                              "2024-03-10 Sun 02:00", "More than 1 year"}));
  EXPECT_TRUE(HoldsText(table->PreviousOccurrence[1], "3/9/2024 9:00 PM"));
}

// A Done sort value that is not a number leaves that one as it was, header
// marks included; the other applies.
TEST_F(LifecycleTest, ADoneSortValueNotANumberIsLeftAsItWas) {
  // Done tasks 1..3 named b, c, a, due next at 20:00, 16:00, 18:00.
  const std::pair<const char*, int> done[] = {{"b", 20}, {"c", 16}, {"a", 18}};
  for (int id = 1; id <= 3; ++id) WriteTask(id, done[id - 1].first, done[id - 1].second, -1);
  const struct {
    const char* sortLine;
    Cells ids;
  } rows[] = {{"2\t1\tjunk\t0", {"2", "3", "1"}}, {"2\t1\t1\tjunk", {"2", "1", "3"}}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.sortLine);
    form.reset();
    table = MakeTaskTable();
    Start(("0\t0\t6000\t7995\t0\r\n650\t3100\t2000\r\n" + std::string(row.sortLine) + "\r\n")
              .c_str());
    Click(Find("Option2"));
    EXPECT_EQ(Column(0), row.ids);
    for (int column = 1; column <= 3; ++column) EXPECT_EQ(form->List().HeaderImage(column), 3);
  }
}

// Return and the keypad's Enter each click a focused picture button.
TEST_F(LifecycleTest, ReturnAndEnterClickAFocusedPictureButton) {
  Start();
  for (auto [key, modifiers] :
       {std::pair{Qt::Key_Return, Qt::NoModifier}, std::pair{Qt::Key_Enter, Qt::KeypadModifier}}) {
    MessageBoxes::ClearAsked();
    MessageBoxes::SetNextAnswer(Answer::Ok);
    Find("Command8")->setFocus();
    QTest::keyClick(Find("Command8"), key, modifiers);
    ASSERT_EQ(MessageBoxes::Asked().size(), 1u);
    EXPECT_EQ(MessageBoxes::Asked()[0].text,
              "Zelto Todo List version 2.2\r\nFor any suggestions e-mail me at: "
              "zelto.todo@example.org");
  }
}

}  // namespace
}  // namespace zelto::test
