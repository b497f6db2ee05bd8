#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "form1_fixture.h"

namespace zelto::test {
namespace {

using Cells = std::vector<QString>;

TEST_F(Form1Test, LayoutNamesAndDesignTimeValues) {
  EXPECT_EQ(form->windowTitle(), "Zelto Todo List v2.3");
  EXPECT_EQ(form->size(), QSize(385, 475));
  EXPECT_TRUE(form->Option1->isChecked());
  EXPECT_FALSE(form->Option2->isChecked());
  EXPECT_EQ(form->ListView1->geometry(), QRect(0, 48, 385, 425));
  const std::pair<const char*, const char*> buttons[] = {{"Command5", "New task"},
                                                         {"Command4", "Edit task"},
                                                         {"Command6", "Delete task"},
                                                         {"Command3", "Re-count"},
                                                         {"Command7", "Recalculate All"},
                                                         {"Command1", "Refresh list & Save"},
                                                         {"Command8", "About"}};
  int previousLeft = 0;
  for (const auto& [name, tip] : buttons) {
    auto* button = form->findChild<QToolButton*>(name);
    ASSERT_NE(button, nullptr) << name;
    EXPECT_EQ(button->toolTip(), tip);
    EXPECT_EQ(button->accessibleName(), tip);
    EXPECT_FALSE(button->icon().isNull()) << name;
    EXPECT_GT(button->x(), previousLeft) << "the row runs left to right";
    previousLeft = button->x();
  }
  EXPECT_EQ(form->findChild<QPushButton*>("Command2")->text(), "dummy");
  // The focus sink lies under the frame, where no click can reach it.
  const QPoint sink = form->Command2->geometry().center();
  EXPECT_NE(form->childAt(sink), form->Command2);
  EXPECT_EQ(form->Timer1->interval(), 1000);
  EXPECT_EQ(form->Timer2->interval(), 200);
  EXPECT_FALSE(form->Timer2->isActive());
  for (int image = 1; image <= 4; ++image) EXPECT_FALSE(form->ImageList1(image).isNull());
  EXPECT_FALSE(form->ImageList2().isNull());
  EXPECT_EQ(form->HeaderText(1), "ID");
  EXPECT_EQ(form->HeaderText(2), "Task");
  EXPECT_EQ(form->HeaderText(3), "Previous occurence");
}

// The order of `widgets` in the window's focus chain, starting at the first.
std::vector<QWidget*> ChainOrder(const std::vector<QWidget*>& widgets) {
  std::vector<QWidget*> order;
  QWidget* w = widgets.front();
  do {
    if (std::find(widgets.begin(), widgets.end(), w) != widgets.end()) order.push_back(w);
    w = w->nextInFocusChain();
  } while (w != widgets.front() && order.size() < widgets.size());
  return order;
}

TEST_F(Form1Test, TabOrderAndFirstFocus) {
  const std::vector<QWidget*> expected = {
      form->ListView1, form->Command4, form->Command5, form->Command6, form->Option1, form->Option2,
      form->Command1,  form->Command2, form->Command3, form->Command7, form->Command8};
  EXPECT_EQ(ChainOrder(expected), expected);
  EXPECT_EQ(form->focusWidget(), form->ListView1);
}

TEST_F(Form1Test, PassButtonsAreTheThreeThatTheHooksSwitch) {
  form->SetPassButtonsEnabled(false);
  EXPECT_FALSE(form->Command1->isEnabled());
  EXPECT_FALSE(form->Command3->isEnabled());
  EXPECT_FALSE(form->Command7->isEnabled());
  for (QToolButton* other : {form->Command4, form->Command5, form->Command6, form->Command8})
    EXPECT_TRUE(other->isEnabled());
  form->SetPassButtonsEnabled(true);
  EXPECT_TRUE(form->Command1->isEnabled());
}

TEST_F(Form1Test, RowsFollowTheViewByExactTickValue) {
  AddTask(1, "open");
  AddTask(2, "done", -1);
  AddTask(3, "damaged", 1);  // neither view lists it
  table->PreviousOccurrence[4] = std::string(kMoreThanOneYear);
  AddTask(5, "Caf\xe9 cr\xe8me");  // an older file's 8-bit text
  table->PreviousOccurrence[5] = std::string(kErrorMarker);
  AddTask(6, "never searched");
  table->PreviousOccurrence[6] = std::monostate();
  form->FillTaskList();
  EXPECT_EQ(Column(0), (Cells{"1", "5", "6"}));
  EXPECT_EQ(Column(1), (Cells{"open", "Café crème", "never searched"}));
  EXPECT_EQ(Column(2), (Cells{"2024-03-10 Sun 14:00", "!!! Error !!!", ""}));
  EXPECT_EQ(table->TaskText[5], "Caf\xe9 cr\xe8me") << "display never rewrites the bytes";
  EXPECT_FALSE(form->RowChecked(0));
  EXPECT_EQ(form->SelectedRow(), 0);

  Click(form->Option2);
  EXPECT_EQ(form->HeaderText(3), "Next occurence");
  EXPECT_EQ(Column(0), (Cells{"2"}));
  EXPECT_EQ(Column(2), (Cells{"2024-03-10 Sun 15:00"}));
  EXPECT_TRUE(form->RowChecked(0));
  EXPECT_EQ(form->SelectedRow(), 0);
}

TEST_F(Form1Test, DatesUseTheLocalesWeekdayNames) {
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  Form1 german(*table, clock, prompter, folder.path());
  AddTask(1, "a");
  german.FillTaskList();
  EXPECT_EQ(german.CellText(0, 2),
            QString("2024-03-10 %1 14:00").arg(QLocale().dayName(7, QLocale::ShortFormat)));
  EXPECT_NE(german.CellText(0, 2), "2024-03-10 Sun 14:00");
}

TEST_F(Form1Test, TickingMovesATaskToDoneAndBack) {
  Form2* editor = OpenNew();
  ASSERT_NE(editor, nullptr);
  QTest::keyClicks(editor->Text1, "Read the mail");
  Click(editor->Command1);
  ASSERT_EQ(form->Editor(), nullptr);
  EXPECT_EQ(Column(0), (Cells{"1"}));
  EXPECT_EQ(Column(1), (Cells{"Read the mail"}));
  EXPECT_EQ(Column(2), (Cells{"2024-03-10 Sun 14:00"}));

  clock.Set(At(2024, 3, 10, 14, 45, 10));
  ClickCheckBox(0);
  EXPECT_EQ(table->TaskChecked[1], -1);
  EXPECT_EQ(table->CheckedDate[1], At(2024, 3, 10, 14, 45, 10));
  EXPECT_EQ(form->RowCount(), 0) << "the ticked task leaves the ToDo view";

  Click(form->Option2);
  EXPECT_EQ(form->HeaderText(3), "Next occurence");
  EXPECT_EQ(Column(2), (Cells{"2024-03-10 Sun 15:00"}));
  EXPECT_TRUE(form->RowChecked(0));

  // Unticking from the keyboard works the same way.
  form->ListView1->setFocus();
  QTest::keyClick(form->ListView1, Qt::Key_Space);
  EXPECT_EQ(table->TaskChecked[1], 0);
  EXPECT_EQ(table->CheckedDate[1], DateTime());
  EXPECT_EQ(form->RowCount(), 0);
  Click(form->Option1);
  EXPECT_EQ(Column(0), (Cells{"1"}));
}

TEST_F(Form1Test, FillingTheDoneViewIsNotATick) {
  AddTask(1, "a", -1);
  table->CheckedDate[1] = At(2024, 3, 1, 9);
  Click(form->Option2);
  form->FillTaskList();
  EXPECT_EQ(table->CheckedDate[1], At(2024, 3, 1, 9));
  EXPECT_EQ(table->TaskChecked[1], -1);
}

TEST_F(Form1Test, IdColumnSortsAsText) {
  for (int id : {2, 10, 9}) AddTask(id, "task " + std::to_string(id));
  form->FillTaskList();
  EXPECT_EQ(Column(0), (Cells{"10", "2", "9"})) << "design-time sort: first column ascending";
  ClickHeader(0);  // the order flips on every click
  EXPECT_EQ(Column(0), (Cells{"9", "2", "10"}));
  EXPECT_EQ(form->HeaderImage(1), 2);
  ClickHeader(0);
  EXPECT_EQ(Column(0), (Cells{"10", "2", "9"}));
  EXPECT_EQ(form->HeaderImage(1), 1);
  EXPECT_EQ(form->HeaderImage(2), 3);
  EXPECT_EQ(form->HeaderImage(3), 3);
  EXPECT_EQ(form->TodoSortColumn, "0");
  EXPECT_EQ(form->TodoSortOrder, "0");
  // A new column after an ascending sort sorts descending.
  ClickHeader(1);
  EXPECT_EQ(Column(1), (Cells{"task 9", "task 2", "task 10"}));
  EXPECT_EQ(form->HeaderImage(1), 3);
  EXPECT_EQ(form->HeaderImage(2), 2);
}

TEST_F(Form1Test, EachViewKeepsItsOwnSortAndHeaderImage) {
  AddTask(1, "b");
  AddTask(2, "a");
  AddTask(3, "y", -1);
  AddTask(4, "z", -1);
  form->FillTaskList();
  ClickHeader(1);  // ToDo: Task descending
  EXPECT_EQ(Column(1), (Cells{"b", "a"}));

  Click(form->Option2);
  EXPECT_EQ(Column(1), (Cells{"y", "z"})) << "Done has no sort of its own yet: by id";
  EXPECT_EQ(form->HeaderImage(1), 1);
  ClickHeader(0);
  ClickHeader(0);
  ClickHeader(0);  // ID descending
  EXPECT_EQ(Column(0), (Cells{"4", "3"}));
  EXPECT_EQ(form->DoneSortColumn, "0");
  EXPECT_EQ(form->DoneSortOrder, "1");

  Click(form->Option1);
  EXPECT_EQ(Column(1), (Cells{"b", "a"}));
  EXPECT_EQ(form->HeaderImage(1), 3);
  EXPECT_EQ(form->HeaderImage(2), 2);
  Click(form->Option2);
  EXPECT_EQ(Column(0), (Cells{"4", "3"}));
  EXPECT_EQ(form->HeaderImage(1), 2);
  EXPECT_EQ(form->HeaderImage(2), 3);
}

TEST_F(Form1Test, OccurrenceColumnSortsMarkersAroundDates) {
  AddTask(1, "later", -1);
  AddTask(2, "never", -1);
  table->NextOccurrence[2] = std::string(kMoreThanOneYear);
  AddTask(3, "sooner", -1);
  table->NextOccurrence[3] = At(2024, 3, 10, 15);
  table->NextOccurrence[1] = At(2024, 3, 11, 9);
  Click(form->Option2);
  ClickHeader(2);  // order 0 -> 1: descending
  ClickHeader(2);  // ascending
  EXPECT_EQ(Column(1), (Cells{"sooner", "later", "never"}));
}

TEST_F(Form1Test, StoredSortValuesMayBeTextOrUnset) {
  for (int id : {1, 2, 3}) AddTask(id, std::string(1, static_cast<char>('d' - id)));
  form->TodoSortColumn = "1";
  form->TodoSortOrder = "";
  form->Option1_Click();
  EXPECT_EQ(Column(1), (Cells{"a", "b", "c"}));
  EXPECT_EQ(form->HeaderImage(2), 1);
  form->TodoSortColumn = "junk";
  form->TodoSortOrder = "1";
  form->Option1_Click();
  EXPECT_EQ(Column(0), (Cells{"3", "2", "1"}));
  EXPECT_EQ(form->HeaderImage(1), 2);
  // Values out of range from a damaged position file: the list keeps what
  // it had, and the headers fall back to "none".
  form->TodoSortColumn = "7";
  form->TodoSortOrder = "4";
  form->Option1_Click();
  EXPECT_EQ(Column(0), (Cells{"3", "2", "1"}));
  for (int column = 1; column <= 3; ++column) EXPECT_EQ(form->HeaderImage(column), 3);
}

struct DeleteCase {
  const char* name;
  bool byKey;
  Answer answer;
  friend void PrintTo(const DeleteCase& c, std::ostream* os) { *os << c.name; }
};

class DeleteTest : public Form1Test, public ::testing::WithParamInterface<DeleteCase> {};

TEST_P(DeleteTest, AsksThenFreesOnlyTheText) {
  AddTask(1, "keep");
  AddTask(2, "Caf\xe9");
  form->FillTaskList();
  form->ListView1->setCurrentIndex(form->ListView1->model()->index(1, 0));
  MessageBoxes::SetNextAnswer(GetParam().answer);
  if (GetParam().byKey) {
    form->ListView1->setFocus();
    QTest::keyClick(form->ListView1, Qt::Key_Delete, Qt::ShiftModifier);
  } else {
    Click(form->Command6);
  }
  ASSERT_EQ(MessageBoxes::Asked().size(), 1u);
  const auto& question = MessageBoxes::Asked().front();
  EXPECT_EQ(question.text, "Delete task Café?");
  EXPECT_EQ(question.title, "Delete task");
  EXPECT_EQ(question.buttons, Buttons::YesNo);
  EXPECT_EQ(question.defaultAnswer, Answer::Yes);
  if (GetParam().answer == Answer::Yes) {
    EXPECT_EQ(Column(0), (Cells{"1"}));
    EXPECT_EQ(table->TaskText[2], "");
    EXPECT_EQ(table->EveryNDays[2], 1) << "only the text is freed";
    EXPECT_EQ(table->TaskCount, 2);
  } else {
    EXPECT_EQ(Column(0), (Cells{"1", "2"}));
    EXPECT_EQ(table->TaskText[2], "Caf\xe9");
  }
}

INSTANTIATE_TEST_SUITE_P(, DeleteTest,
                         ::testing::Values(DeleteCase{"ButtonNo", false, Answer::No},
                                           DeleteCase{"ButtonYes", false, Answer::Yes},
                                           DeleteCase{"KeyNo", true, Answer::No},
                                           DeleteCase{"KeyYes", true, Answer::Yes}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Form1Test, OtherKeysAndEmptyListsAskNothing) {
  AddTask(1, "a");
  form->FillTaskList();
  form->ListView1->setFocus();
  QTest::keyClick(form->ListView1, Qt::Key_Backspace);
  QTest::keyClick(form->ListView1, Qt::Key_A);
  EXPECT_TRUE(MessageBoxes::Asked().empty());

  // Rows but none selected: Edit and Delete do nothing.
  form->ListView1->selectionModel()->clear();
  Click(form->Command6);
  Click(form->Command4);
  EXPECT_TRUE(MessageBoxes::Asked().empty());
  EXPECT_EQ(form->Editor(), nullptr);

  table->TaskText[1].clear();
  form->FillTaskList();
  Click(form->Command6);
  Click(form->Command4);
  QTest::mouseDClick(form->ListView1->viewport(), Qt::LeftButton);
  EXPECT_TRUE(MessageBoxes::Asked().empty());
  EXPECT_EQ(form->Editor(), nullptr);
  EXPECT_TRUE(form->Command2->hasFocus()) << "the double-click still moves the focus";
}

TEST_F(Form1Test, EditOpensTheSelectedRowsSlot) {
  AddTask(3, "third");
  AddTask(7, "seventh");
  form->FillTaskList();
  form->ListView1->setCurrentIndex(form->ListView1->model()->index(1, 1));
  Click(form->Command4);
  Form2* editor = form->Editor();
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(form->EditMode, "edit");
  EXPECT_EQ(form->EditTaskId, 7);
  EXPECT_EQ(editor->Text1->text(), "seventh");
  EXPECT_FALSE(form->isEnabled());
  editor->Command2_Click();
  EXPECT_TRUE(form->isEnabled());

  const QRect row0 = form->ListView1->visualRect(form->ListView1->model()->index(0, 1));
  QTest::mouseClick(form->ListView1->viewport(), Qt::LeftButton, {}, row0.center());
  QTest::mouseDClick(form->ListView1->viewport(), Qt::LeftButton, {}, row0.center());
  ASSERT_NE(form->Editor(), nullptr);
  EXPECT_EQ(form->Editor()->Text1->text(), "third");
  form->Editor()->Command2_Click();
}

TEST_F(Form1Test, NewTaskSwitchesToTheToDoViewFirst) {
  AddTask(1, "open");
  AddTask(2, "done", -1);
  Click(form->Option2);
  Form2* editor = OpenNew();
  ASSERT_NE(editor, nullptr);
  EXPECT_TRUE(form->Option1->isChecked());
  EXPECT_EQ(form->HeaderText(3), "Previous occurence");
  EXPECT_EQ(Column(0), (Cells{"1"}));
  EXPECT_EQ(form->EditMode, "new");
  EXPECT_EQ(form->EditTaskId, 3);
  EXPECT_FALSE(form->isEnabled());
  editor->close();
  EXPECT_TRUE(form->isEnabled());
  EXPECT_EQ(form->EditMode, "new") << "the close box leaves the hand-over as it was";
}

struct Fields {
  std::string text;
  int16_t every;
  int16_t checked;
  DateTime checkedDate;
};

TEST_F(Form1Test, RecountCompactsIdsWithAllFields) {
  const std::pair<int, Fields> tasks[] = {{2, {"two", 2, 0, DateTime()}},
                                          {5, {"five", 5, -1, At(2024, 3, 9, 8)}},
                                          {9, {"nine", 9, 0, DateTime()}}};
  for (const auto& [id, f] : tasks) {
    AddTask(id, f.text, f.checked);
    table->EveryNDays[id] = f.every;
    table->CheckedDate[id] = f.checkedDate;
    table->StartDay[id] = static_cast<int16_t>(id);
    table->HourMask[id][id] = 0;
    table->HourMask[id][30] = static_cast<int16_t>(id);
    table->WeekdayMask[id][0] = 0;
    table->DayOfMonthMask[id][id + 1] = 2;
    table->MonthMask[id][11] = static_cast<int16_t>(-id);
    table->PreviousOccurrence[id] = At(2024, 1, id);
    table->NextOccurrence[id] = std::string(kMoreThanOneYear) + std::to_string(id);
  }
  Click(form->Command3);
  for (int n = 1; n <= 3; ++n) {
    const int oldId = tasks[n - 1].first;
    const Fields& f = tasks[n - 1].second;
    SCOPED_TRACE(n);
    EXPECT_EQ(table->TaskText[n], f.text);
    EXPECT_EQ(table->EveryNDays[n], f.every);
    EXPECT_EQ(table->TaskChecked[n], f.checked);
    EXPECT_EQ(table->CheckedDate[n], f.checkedDate);
    EXPECT_EQ(table->StartDay[n], oldId);
    EXPECT_EQ(table->StartMonth[n], 12);
    EXPECT_EQ(table->StartYear[n], 2011);
    EXPECT_EQ(table->HourMask[n][oldId], 0);
    EXPECT_EQ(table->HourMask[n][30], oldId);
    EXPECT_EQ(table->WeekdayMask[n][0], 0);
    EXPECT_EQ(table->DayOfMonthMask[n][oldId + 1], 2);
    EXPECT_EQ(table->MonthMask[n][11], -oldId);
    EXPECT_EQ(table->PreviousOccurrence[n], Occurrence(At(2024, 1, oldId)));
    EXPECT_EQ(table->NextOccurrence[n],
              Occurrence(std::string(kMoreThanOneYear) + std::to_string(oldId)));
  }
  for (int id : {4, 5, 6, 7, 8, 9}) EXPECT_FALSE(table->InUse(id)) << id;
  EXPECT_EQ(table->TaskCount, 9) << "the next refresh recounts";
  EXPECT_EQ(Column(0), (Cells{"1", "3"}));  // task 5 sits in the Done view as id 2
}

TEST_F(Form1Test, RecountLeavesSlotZeroWhereItIs) {
  AddTask(0, "zero");
  AddTask(4, "four");
  AddTask(6, "six");
  Click(form->Command3);
  EXPECT_EQ(table->TaskText[0], "zero");
  EXPECT_EQ(table->TaskText[1], "four");
  EXPECT_EQ(table->TaskText[2], "six");
  EXPECT_FALSE(table->InUse(4));
  EXPECT_EQ(Column(0), (Cells{"0", "1", "2"}));
}

TEST_F(Form1Test, RefreshRollsDueTasksBackIntoToDo) {
  AddTask(1, "hourly", -1);
  AddTask(2, "open");
  form->FillTaskList();
  EXPECT_EQ(Column(0), (Cells{"2"}));
  clock.AdvanceHours(1);
  EXPECT_FALSE(form->RefreshAndFill());
  EXPECT_EQ(Column(0), (Cells{"1", "2"}));
  EXPECT_EQ(table->TaskChecked[1], 0);
  EXPECT_EQ(Column(2), (Cells{"2024-03-10 Sun 15:00", "2024-03-10 Sun 15:00"}));
}

TEST_F(Form1Test, RecalculateAllSearchesEveryTaskAgain) {
  AddTask(1, "a");
  AddTask(2, "b", -1);
  table->PreviousOccurrence[1] = std::string("ok");
  clock.AdvanceHours(3);
  Click(form->Command7);
  EXPECT_EQ(Column(0), (Cells{"1"}));
  EXPECT_EQ(Column(2), (Cells{"2024-03-10 Sun 17:00"}));
  Click(form->Option2);
  EXPECT_EQ(Column(2), (Cells{"2024-03-10 Sun 18:00"})) << "still ticked, searched again";
  EXPECT_TRUE(form->Command2->hasFocus());
}

TEST_F(Form1Test, AboutBox) {
  MessageBoxes::SetNextAnswer(Answer::Ok);
  Click(form->Command8);
  ASSERT_EQ(MessageBoxes::Asked().size(), 1u);
  EXPECT_EQ(MessageBoxes::Asked()[0].text,
            "Zelto Todo List version 2.2\r\nFor any suggestions e-mail me at: "
            "zelto.todo@example.org");
  EXPECT_EQ(MessageBoxes::Asked()[0].title, "Zelto Todo List");
  EXPECT_EQ(MessageBoxes::Asked()[0].buttons, Buttons::Ok);
}

}  // namespace
}  // namespace zelto::test
