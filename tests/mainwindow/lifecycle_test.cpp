// Form1's start-up, placement, notification-area icon and hour watch, on
// the offscreen platform with a fake clock.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QLocale>
#include <QRadioButton>
#include <QTimer>
#include <QTreeView>
#include <memory>

#include "mainwindow/form1.h"
#include "platform/messagebox.h"
#include "platform/tray.h"
#include "schedule/occurrences.h"
#include "store/datafile.h"
#include "support/core/fakes.h"

namespace zelto::test {
namespace {

class LifecycleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    MessageBoxes::ClearScript();
    MessageBoxes::ClearAsked();
    TrayIcon::SetAvailableForTests(true);
  }
  void TearDown() override {
    form.reset();
    TrayIcon::SetAvailableForTests(std::nullopt);
    MessageBoxes::ClearScript();
  }

  // Starts the window over the folder's files, as the program does.
  void Start() {
    form = std::make_unique<Form1>(*table, clock, prompter, folder.path());
    form->StartUp();
    form->ShowAtStartUp();
    QApplication::processEvents();
  }

  // A task due at hour `hour` of every day, ticked or not, written to content.txt.
  void WriteTask(int id, int hour, int16_t checked) {
    auto source = MakeTaskTable();
    source->TaskText[id] = "Task " + std::to_string(id);
    source->HourMask[id][hour] = 1;
    for (int k = 0; k < kMaskSize; ++k) {
      source->WeekdayMask[id][k] = 1;
      source->DayOfMonthMask[id][k] = 1;
      source->MonthMask[id][k] = 1;
    }
    source->TaskChecked[id] = checked;
    FindOccurrences(*source, id, clock.Now());
    WriteFileBytes(folder / "content.txt", FormatDataFile(*source));
  }

  void Minimize() {
    form->setWindowState(form->windowState() | Qt::WindowMinimized);
    QApplication::processEvents();
    QApplication::processEvents();
  }

  std::unique_ptr<TaskTable> table = MakeTaskTable();
  FakeClock clock{At(2024, 3, 10, 14, 30)};
  MessageBoxes prompter;
  TempFolder folder;
  std::unique_ptr<Form1> form;
};

TEST_F(LifecycleTest, StartWithoutFilesUsesTheDefaults) {
  Start();
  EXPECT_EQ(form->DataFileError, 1);
  EXPECT_TRUE(form->isVisible());
  EXPECT_TRUE(form->Option1->isChecked());
  const QHeaderView* header = form->ListView1->header();
  EXPECT_EQ(header->sectionSize(0), 43);  // 650 twips
  EXPECT_EQ(header->sectionSize(1), 207);
  EXPECT_EQ(header->sectionSize(2), 133);
  for (int column = 1; column <= 3; ++column) EXPECT_EQ(form->HeaderImage(column), 3);
  EXPECT_TRUE(form->TodoSortColumn.isNull());
  EXPECT_EQ(form->HourWatch1->PreviousHour, 100);
  EXPECT_EQ(form->HourWatch1->CurrentHour, 14);
  EXPECT_TRUE(form->Timer1->isActive());
  EXPECT_FALSE(form->Timer2->isActive());
  // The first showing recorded the placement.
  EXPECT_EQ(form->WindowPlacement.WindowWidth, form->frameGeometry().width() * 15);
  EXPECT_EQ(form->PositionFileText().substr(form->PositionFileText().find("\r\n")),
            "\r\n650\t3100\t2000\r\n\t\t\t\r\n");
}

TEST_F(LifecycleTest, StartAppliesThePositionFile) {
  WriteFileBytes(folder / "position.txt",
                 "-300\t90\t6000\t7995\t0\r\n700\t3000.5\t2100\r\n2\t1\t0\t0\r\n");
  WriteTask(4, 9, 0);
  Start();
  EXPECT_EQ(form->DataFileError, 0);
  // Off the screen: back to the corner, at the stored outer size.
  EXPECT_EQ(form->frameGeometry(), QRect(0, 0, 400, 533));
  const QHeaderView* header = form->ListView1->header();
  EXPECT_EQ(header->sectionSize(0), 47);
  EXPECT_EQ(header->sectionSize(1), 200);
  EXPECT_EQ(header->sectionSize(2), 140);
  EXPECT_EQ(form->TodoSortColumn, "2");
  EXPECT_EQ(form->TodoSortOrder, "1");
  EXPECT_EQ(form->ListSortKey(), 2);
  EXPECT_EQ(form->ListSortOrder(), 1);
  EXPECT_EQ(form->HeaderImage(3), 2);
  EXPECT_EQ(form->HeaderImage(1), 3);
  EXPECT_EQ(form->RowCount(), 1);
  // Untouched columns keep their exact widths; a resized one is written anew.
  EXPECT_EQ(form->PositionFileText(), "0\t0\t6000\t7995\t0\r\n700\t3000.5\t2100\r\n2\t1\t0\t0\r\n");
  form->ListView1->header()->resizeSection(1, 210);
  EXPECT_NE(form->PositionFileText().find("\r\n700\t3150\t2100\r\n"), std::string::npos);
}

TEST_F(LifecycleTest, TheListFillsTheWindowBelowTheButtons) {
  Start();
  form->resize(600, 500);
  QApplication::processEvents();
  EXPECT_EQ(form->ListView1->geometry(), QRect(0, 48, 600, 452));
  form->resize(300, 40);  // too low for the list: it keeps its height
  QApplication::processEvents();
  EXPECT_EQ(form->ListView1->geometry(), QRect(0, 48, 300, 452));
  EXPECT_EQ(form->WindowPlacement.WindowHeight, form->frameGeometry().height() * 15);
}

TEST_F(LifecycleTest, MinimiseToTrayAndBackOnButtonRelease) {
  Start();
  form->showMaximized();
  QApplication::processEvents();
  ASSERT_TRUE(form->isMaximized());
  EXPECT_EQ(form->WindowPlacement.RestoreWindowState, 2);
  const Placement before = form->WindowPlacement;
  EXPECT_EQ(before.WindowWidth, form->frameGeometry().width() * 15);

  Minimize();
  EXPECT_FALSE(form->isVisible());
  ASSERT_NE(form->Tray, nullptr);
  EXPECT_TRUE(form->Tray->IsShown());
  EXPECT_EQ(form->Tray->ToolTip(), "Zelto Todo List");
  EXPECT_TRUE(form->IsMinimized());
  EXPECT_EQ(form->WindowPlacement.WindowWidth, before.WindowWidth) << "minimising records nothing";
  EXPECT_EQ(form->PositionFileText().substr(0, form->PositionFileText().find("\r\n")),
            QString("%1\t%2\t%3\t%4\t1")
                .arg(before.WindowLeft)
                .arg(before.WindowTop)
                .arg(before.WindowWidth)
                .arg(before.WindowHeight)
                .toStdString());

  for (auto reason : {QSystemTrayIcon::DoubleClick, QSystemTrayIcon::MiddleClick}) {
    form->Tray->OnActivated(reason);
    QApplication::processEvents();
    EXPECT_FALSE(form->isVisible());
  }
  form->Tray->OnActivated(QSystemTrayIcon::Context);
  QApplication::processEvents();
  EXPECT_TRUE(form->isVisible());
  EXPECT_TRUE(form->isMaximized()) << "back in the state it had";
  EXPECT_FALSE(form->Tray->IsShown());
  EXPECT_FALSE(form->IsMinimized());
}

TEST_F(LifecycleTest, WithoutANotificationAreaTheWindowStaysOnTheTaskbar) {
  TrayIcon::SetAvailableForTests(false);
  Start();
  Minimize();
  EXPECT_TRUE(form->isVisible());
  EXPECT_TRUE(form->isMinimized());
  EXPECT_EQ(form->Tray, nullptr);
}

TEST_F(LifecycleTest, StartMinimisedGoesStraightToTheTrayAndComesBackNormal) {
  WriteFileBytes(folder / "position.txt", "150\t90\t6000\t7995\t1\r\n");
  Start();
  EXPECT_FALSE(form->isVisible());
  ASSERT_NE(form->Tray, nullptr);
  EXPECT_TRUE(form->Tray->IsShown());
  // Start-up's own move was recorded although the window is not shown.
  EXPECT_EQ(form->WindowPlacement.WindowLeft, 150);
  EXPECT_EQ(form->WindowPlacement.WindowHeight, 7995);

  form->Tray->OnActivated(QSystemTrayIcon::Trigger);
  QApplication::processEvents();
  EXPECT_TRUE(form->isVisible());
  EXPECT_FALSE(form->isMinimized());
  EXPECT_FALSE(form->isMaximized());
  EXPECT_EQ(form->frameGeometry(), QRect(10, 6, 400, 533));
}

// At the change of the hour, a ticked task that falls due brings the hidden
// window back in the ToDo view; an unticked one leaves it hidden.
TEST_F(LifecycleTest, HourWatchBringsTheWindowBackForADoneTaskFallingDue) {
  for (const int16_t checked : {int16_t{-1}, int16_t{0}}) {
    SCOPED_TRACE(checked);
    clock.Set(At(2024, 3, 10, 14, 30));
    WriteTask(5, 15, checked);
    table = MakeTaskTable();
    Start();
    form->Option2->setChecked(true);
    form->Option2_Click();
    Minimize();
    ASSERT_FALSE(form->isVisible());

    clock.Set(At(2024, 3, 10, 14, 59, 59));
    form->Timer1_Timer();
    EXPECT_FALSE(form->isVisible()) << "same hour: nothing happens";

    clock.Set(At(2024, 3, 10, 15, 0, 0));
    form->Timer1_Timer();
    QApplication::processEvents();
    EXPECT_EQ(table->TaskChecked[5], 0);
    EXPECT_EQ(form->RestoreRequest, 0);
    if (checked == -1) {
      EXPECT_TRUE(form->isVisible());
      EXPECT_FALSE(form->isMinimized());
      EXPECT_TRUE(form->Option1->isChecked());
      EXPECT_EQ(form->HeaderText(3), "Previous occurence");
      ASSERT_EQ(form->RowCount(), 1);
      EXPECT_EQ(form->CellText(0, 0), "5");
      EXPECT_FALSE(form->Tray->IsShown());
    } else {
      EXPECT_FALSE(form->isVisible());
      EXPECT_TRUE(form->Tray->IsShown());
    }
    form.reset();
  }
}

// Logging off or a termination signal while the window sits in the tray:
// the save still runs and the icon goes.
TEST_F(LifecycleTest, SessionEndWhileHiddenSavesAndRemovesTheIcon) {
  WriteTask(3, 9, -1);
  Start();
  Minimize();
  ASSERT_FALSE(form->isVisible());
  ASSERT_TRUE(form->Tray->IsShown());
  std::filesystem::remove(folder / "content.txt");

  // The session manager's request for the data saves and changes nothing else.
  form->CommitData();
  EXPECT_NE(ReadFileBytes(folder / "content.txt").find("Task 3"), std::string::npos);
  EXPECT_TRUE(form->Tray->IsShown());
  EXPECT_TRUE(form->Timer1->isActive());
  std::filesystem::remove(folder / "content.txt");

  form->EndSession();
  EXPECT_FALSE(form->Tray->IsShown());
  EXPECT_FALSE(form->Timer1->isActive());
  EXPECT_NE(ReadFileBytes(folder / "content.txt").find("Task 3"), std::string::npos);
  const std::string position = ReadFileBytes(folder / "position.txt");
  EXPECT_EQ(position.substr(position.find("\r\n") - 2, 4), "\t1\r\n")
      << "written as minimised: " << position;
}

}  // namespace
}  // namespace zelto::test
