#include <QClipboard>
#include <QGuiApplication>

#include "mainwindow/form1_fixture.h"

namespace zelto::test {
namespace {

class Form2Test : public Form1Test {
 protected:
  Form2* OpenEdit(int id) {
    form->EditMode = "edit";
    form->EditTaskId = static_cast<int16_t>(id);
    form->FillTaskList();
    for (int row = 0; row < form->RowCount(); ++row) {
      if (form->CellText(row, 0) == QString::number(id))
        form->ListView1->setCurrentIndex(form->ListView1->model()->index(row, 0));
    }
    Click(form->Command4);
    Form2* editor = form->Editor();
    EXPECT_NE(editor, nullptr);
    return editor;
  }
};

TEST_F(Form2Test, NewTaskSavedUntouchedTakesTheInitialRule) {
  Form2* editor = OpenNew();
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->windowTitle(), "New / Edit Task");
  EXPECT_EQ(editor->size(), QSize(456, 336));
  EXPECT_TRUE(editor->isEnabled());
  EXPECT_FALSE(form->isEnabled());
  EXPECT_EQ(editor->Text2->text(), "1");
  EXPECT_EQ(editor->DTPicker1->date(), QDate(2011, 12, 18));
  EXPECT_EQ(editor->DTPicker1->minimumDate(), QDate(1601, 1, 1));
  EXPECT_EQ(editor->DTPicker1->maximumDate(), QDate(9999, 12, 31));
  EXPECT_TRUE(editor->DTPicker1->calendarPopup());
  EXPECT_EQ(editor->Check1[3]->text(), "Wednesday");
  EXPECT_EQ(editor->Check2[23]->text(), "23");
  EXPECT_EQ(editor->Check3[0]->text(), "1");
  EXPECT_EQ(editor->Check4[30]->text(), "31");
  EXPECT_EQ(editor->findChild<QCheckBox*>("Check4(30)"), editor->Check4[30]);
  EXPECT_TRUE(editor->Command1->isDefault());

  // The slot was used before; a new task takes over its tick and date.
  table->TaskChecked[1] = -1;
  table->CheckedDate[1] = At(2020, 1, 1);
  table->HourMask[1][27] = 5;
  QTest::keyClicks(editor->Text1, "Feed the cat");
  QTest::keyClick(editor->Text1, Qt::Key_Return);  // Enter is Save
  EXPECT_TRUE(form->isEnabled());
  EXPECT_EQ(form->EditMode, "");
  EXPECT_EQ(table->TaskText[1], "Feed the cat");
  EXPECT_EQ(table->EveryNDays[1], 1);
  EXPECT_EQ(table->StartDay[1], 18);
  EXPECT_EQ(table->StartMonth[1], 12);
  EXPECT_EQ(table->StartYear[1], 2011);
  for (int k = 0; k < 24; ++k) EXPECT_EQ(table->HourMask[1][k], 1);
  EXPECT_EQ(table->HourMask[1][27], 5) << "entries without a box are left alone";
  for (int k = 0; k < 31; ++k) EXPECT_EQ(table->DayOfMonthMask[1][k], 1);
  EXPECT_EQ(table->TaskChecked[1], -1);
  EXPECT_EQ(table->CheckedDate[1], At(2020, 1, 1));
  EXPECT_EQ(table->PreviousOccurrence[1], Occurrence(At(2024, 3, 10, 14)));
  EXPECT_EQ(table->NextOccurrence[1], Occurrence(At(2024, 3, 10, 15)));
}

TEST_F(Form2Test, TabOrderRunsThroughTheGridsThenTheButtons) {
  Form2* editor = OpenNew();
  ASSERT_NE(editor, nullptr);
  std::vector<QWidget*> expected = {editor->Text1};
  for (auto* b : editor->Check1) expected.push_back(b);
  for (auto* b : editor->Check2) expected.push_back(b);
  for (auto* b : editor->Check3) expected.push_back(b);
  for (auto* b : editor->Check4) expected.push_back(b);
  for (QWidget* b :
       {editor->Command1, editor->Command2, editor->Command3, editor->Command4, editor->Command5,
        editor->Command6, editor->Command7, editor->Command8, editor->Command9, editor->Command10})
    expected.push_back(b);
  expected.push_back(editor->DTPicker1);
  expected.push_back(editor->Text2);
  ASSERT_EQ(expected.size(), 1u + 74u + 10u + 2u);
  std::vector<QWidget*> order;
  QWidget* w = editor->Text1;
  do {
    if (std::find(expected.begin(), expected.end(), w) != expected.end()) order.push_back(w);
    w = w->nextInFocusChain();
  } while (w != editor->Text1);
  EXPECT_EQ(order, expected);
  editor->Command2_Click();
}

TEST_F(Form2Test, CaretIsAfterTheTextOnOpening) {
  AddTask(4, "Call the plumber");
  Form2* editor = OpenEdit(4);
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->focusWidget(), editor->Text1);
  EXPECT_EQ(editor->Text1->cursorPosition(), 16);
  EXPECT_FALSE(editor->Text1->hasSelectedText());
  QTest::keyClick(editor, Qt::Key_Escape);  // Esc is Cancel
  EXPECT_EQ(form->Editor(), nullptr);
  EXPECT_EQ(form->EditMode, "");
  EXPECT_TRUE(form->isEnabled());
}

constexpr int kBoxes[4] = {24, 7, 31, 12};  // hour, weekday, day, month

Mask& MaskOf(TaskTable& table, int which, int id) {
  switch (which) {
    case 0:
      return table.HourMask[id];
    case 1:
      return table.WeekdayMask[id];
    case 2:
      return table.DayOfMonthMask[id];
    default:
      return table.MonthMask[id];
  }
}

std::vector<QCheckBox*> BoxesOf(Form2* editor, int which) {
  switch (which) {
    case 0:
      return {editor->Check2.begin(), editor->Check2.end()};
    case 1:
      return {editor->Check1.begin(), editor->Check1.end()};
    case 2:
      return {editor->Check4.begin(), editor->Check4.end()};
    default:
      return {editor->Check3.begin(), editor->Check3.end()};
  }
}

// Odd entries greyed (2), even ones ticked, beyond the boxes too.
int16_t Pattern(int k) {
  return k % 2 ? 2 : 1;
}

TEST_F(Form2Test, PlusAndMinusSetOneFrameAndNothingElse) {
  const struct {
    const char* name;
    QPushButton* Form2::*plus;
    QPushButton* Form2::*minus;
    int which;
  } cases[] = {{"Hour", &Form2::Command3, &Form2::Command4, 0},
               {"Weekday", &Form2::Command5, &Form2::Command6, 1},
               {"Day", &Form2::Command7, &Form2::Command8, 2},
               {"Month", &Form2::Command9, &Form2::Command10, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AddTask(1, "task");
    for (int which = 0; which < 4; ++which)
      for (int k = 0; k < kMaskSize; ++k) MaskOf(*table, which, 1)[k] = Pattern(k);

    Form2* editor = OpenEdit(1);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(Form2::CheckValue(BoxesOf(editor, c.which)[1]), 2) << "a stored 2 shows greyed";
    Click(editor->*c.minus);
    for (QCheckBox* box : BoxesOf(editor, c.which)) EXPECT_EQ(Form2::CheckValue(box), 0);
    Click(editor->Command1);
    for (int which = 0; which < 4; ++which) {
      const Mask& mask = MaskOf(*table, which, 1);
      for (int k = 0; k < kMaskSize; ++k) {
        const bool cleared = which == c.which && k < kBoxes[which];
        EXPECT_EQ(mask[k], cleared ? 0 : Pattern(k)) << "mask " << which << " entry " << k;
      }
    }

    editor = OpenEdit(1);
    ASSERT_NE(editor, nullptr);
    Click(editor->*c.plus);
    for (QCheckBox* box : BoxesOf(editor, c.which)) EXPECT_EQ(Form2::CheckValue(box), 1);
    editor->Command2_Click();
  }
}

TEST_F(Form2Test, ClicksToggleOnlyBetweenTickedAndClear) {
  AddTask(1, "task");
  table->WeekdayMask[1][2] = 2;
  table->WeekdayMask[1][3] = 7;  // no box shows 7: stays in the initial ticked state
  table->WeekdayMask[1][4] = 0;
  Form2* editor = OpenEdit(1);
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(Form2::CheckValue(editor->Check1[2]), 2);
  EXPECT_EQ(Form2::CheckValue(editor->Check1[3]), 1);
  EXPECT_EQ(Form2::CheckValue(editor->Check1[4]), 0);
  Click(editor->Check1[2]);
  EXPECT_EQ(Form2::CheckValue(editor->Check1[2]), 1);
  Click(editor->Check1[2]);
  EXPECT_EQ(Form2::CheckValue(editor->Check1[2]), 0);
  Click(editor->Check1[2]);
  EXPECT_EQ(Form2::CheckValue(editor->Check1[2]), 1);
  editor->Command2_Click();
}

TEST_F(Form2Test, IntervalTextIsReadInTheLocaleAndRoundedHalfToEven) {
  const struct {
    const char* text;
    int16_t stored;
  } cases[] = {{"2.5", 2},           {"3.5", 4},   {" 7 ", 7},    {"-3", -3},
               {"32767", 32767},     {"40000", 5}, {"abc", 5},    {"", 5},
               {"-32768.4", -32768}, {"1e2", 100}, {"32767.5", 5}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    AddTask(1, "task");
    table->EveryNDays[1] = 5;
    Form2* editor = OpenEdit(1);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->Text2->text(), "5");
    editor->Text2->setText(c.text);
    Click(editor->Command1);
    EXPECT_EQ(table->EveryNDays[1], c.stored);
  }
  // A German user writes the fraction with a comma.
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  Form2* editor = OpenEdit(1);
  ASSERT_NE(editor, nullptr);
  editor->Text2->setText("6,5");
  Click(editor->Command1);
  EXPECT_EQ(table->EveryNDays[1], 6);
}

TEST_F(Form2Test, StartDateShownWhenThePickerCanShowIt) {
  const struct {
    int year, month, day;
    QDate shown;
  } cases[] = {{2012, 2, 29, QDate(2012, 2, 29)},  {0, 0, 0, QDate(2011, 12, 18)},
               {2013, 2, 29, QDate(2011, 12, 18)}, {1600, 12, 31, QDate(2011, 12, 18)},
               {1601, 1, 1, QDate(1601, 1, 1)},    {9999, 12, 31, QDate(9999, 12, 31)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.year << "-" << c.month << "-" << c.day);
    AddTask(1, "task");
    table->StartYear[1] = static_cast<int16_t>(c.year);
    table->StartMonth[1] = static_cast<int16_t>(c.month);
    table->StartDay[1] = static_cast<int16_t>(c.day);
    Form2* editor = OpenEdit(1);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->DTPicker1->date(), c.shown);
    Click(editor->Command1);
    EXPECT_EQ(table->StartYear[1], c.shown.year());
    EXPECT_EQ(table->StartMonth[1], c.shown.month());
    EXPECT_EQ(table->StartDay[1], c.shown.day());
  }
}

TEST_F(Form2Test, EditKeepsTheTickAndRecomputesAnErrorTask) {
  AddTask(3, "broken", -1);
  table->CheckedDate[3] = At(2024, 3, 9, 7);
  table->PreviousOccurrence[3] = std::string(kErrorMarker);
  table->NextOccurrence[3] = std::string(kErrorMarker);
  Click(form->Option2);
  Form2* editor = OpenEdit(3);
  ASSERT_NE(editor, nullptr);
  Click(editor->Command1);
  EXPECT_EQ(table->PreviousOccurrence[3], Occurrence(At(2024, 3, 10, 14)));
  EXPECT_EQ(table->NextOccurrence[3], Occurrence(At(2024, 3, 10, 15)));
  EXPECT_EQ(table->TaskChecked[3], -1);
  EXPECT_EQ(table->CheckedDate[3], At(2024, 3, 9, 7));
  EXPECT_EQ(form->CellText(0, 2), "2024-03-10 Sun 15:00") << "the list was rebuilt";
}

TEST_F(Form2Test, SavingAnEmptyTextFreesTheSlot) {
  AddTask(2, "gone soon");
  Form2* editor = OpenEdit(2);
  ASSERT_NE(editor, nullptr);
  editor->Text1->clear();
  Click(editor->Command1);
  EXPECT_FALSE(table->InUse(2));
  EXPECT_EQ(form->RowCount(), 0);
}

TEST_F(Form2Test, CancelAfterNewStillAdvancesTheCounter) {
  for (int id = 1; id <= 5; ++id) AddTask(id, "t");
  ASSERT_EQ(table->TaskCount, 5);
  Form2* editor = OpenNew();
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->TaskId(), 6);
  Click(editor->Command2);
  EXPECT_EQ(table->TaskCount, 6);
  EXPECT_FALSE(table->InUse(6));
  editor = OpenNew();
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->TaskId(), 7);
  editor->Command2_Click();
}

TEST_F(Form2Test, LimitMessageAboveTenThousandAndNothingStored) {
  table->TaskCount = 10000;
  AddTask(10000, "last");
  MessageBoxes::SetNextAnswer(Answer::Ok);
  Form2* editor = OpenNew();
  ASSERT_NE(editor, nullptr);
  ASSERT_EQ(MessageBoxes::Asked().size(), 1u);
  EXPECT_EQ(MessageBoxes::Asked()[0].text, "Maximum of 10000 entries reached. Try Re-count.");
  EXPECT_EQ(MessageBoxes::Asked()[0].title, "Zelto Todo List");
  EXPECT_EQ(MessageBoxes::Asked()[0].buttons, Buttons::Ok);
  EXPECT_EQ(table->TaskCount, 10001);
  for (QCheckBox* box : editor->Check4) EXPECT_EQ(Form2::CheckValue(box), 1);
  QTest::keyClicks(editor->Text1, "one too many");
  Click(editor->Command1);
  EXPECT_EQ(form->Editor(), nullptr);
  EXPECT_EQ(form->EditMode, "");
  EXPECT_EQ(table->TaskText[10000], "last");
  EXPECT_EQ(form->RowCount(), 1);
}

// A refresh while a "new" dialog is open counts only the slots in use, so
// the counter can fall below the id the dialog is about to fill.
TEST_F(Form2Test, NewNeverHandsOutASlotInUse) {
  for (int id = 1; id <= 3; ++id) AddTask(id, "t");
  Form2* editor = OpenNew();
  ASSERT_NE(editor, nullptr);
  ASSERT_EQ(editor->TaskId(), 4);
  EXPECT_FALSE(form->RefreshAndFill());  // the hour watch, behind the dialog
  EXPECT_EQ(table->TaskCount, 3);
  QTest::keyClicks(editor->Text1, "fourth");
  Click(editor->Command1);
  ASSERT_EQ(table->TaskText[4], "fourth");
  editor = OpenNew();
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->TaskId(), 5);
  QTest::keyClicks(editor->Text1, "fifth");
  Click(editor->Command1);
  EXPECT_EQ(table->TaskText[4], "fourth");
  EXPECT_EQ(table->TaskText[5], "fifth");
}

TEST_F(Form2Test, PastedLineBreaksBecomeBlanks) {
  Form2* editor = OpenNew();
  ASSERT_NE(editor, nullptr);
  QGuiApplication::clipboard()->setText("first line\r\nsecond\nthird");
  QTest::keyClicks(editor->Text1, "Note: ");
  QTest::keySequence(editor->Text1, QKeySequence::Paste);
  EXPECT_EQ(editor->Text1->text(), "Note: first line second third");
  // Text put in by other means is mended at Save.
  editor->Text1->setText("a\u2028b\rc");
  Click(editor->Command1);
  const int id = table->TaskCount;
  EXPECT_EQ(table->TaskText[id], "a b c");
}

TEST_F(Form2Test, UntouchedTextKeepsItsBytesEditedTextIsUtf8) {
  AddTask(1, "Caf\xe9");  // Windows-1252, from an older file
  AddTask(2, "Caf\xe9 noir");
  Form2* editor = OpenEdit(1);
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->Text1->text(), "Café");
  editor->Text2->setText("3");
  Click(editor->Command1);
  EXPECT_EQ(table->TaskText[1], "Caf\xe9");
  EXPECT_EQ(table->EveryNDays[1], 3);

  editor = OpenEdit(2);
  ASSERT_NE(editor, nullptr);
  QTest::keyClick(editor->Text1, Qt::Key_End);
  QTest::keyClicks(editor->Text1, "!");
  Click(editor->Command1);
  EXPECT_EQ(table->TaskText[2], "Caf\xc3\xa9 noir!");
}

}  // namespace
}  // namespace zelto::test
