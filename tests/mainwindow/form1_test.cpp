#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionViewItem>

#include "form1_fixture.h"

namespace zelto::test {
namespace {

TEST_F(Form1Test, RowsFollowTheViewByExactTickValue) {
  AddTask(1, "open");
  AddTask(2, "done", -1);
  AddTask(3, "damaged", 1);        // neither view lists it
  AddTask(5, "Caf\xe9 cr\xe8me");  // an older file's 8-bit text
  table->PreviousOccurrence[5] = std::string(kErrorMarker);
  AddTask(6, "never searched");
  table->PreviousOccurrence[6] = std::monostate();
  AddTask(7, "Caf\xc3\xa9 \xe2\x82\xac 5");  // UTF-8
  form->FillTaskList();
  EXPECT_EQ(Column(0), (Cells{"1", "5", "6", "7"}));
  EXPECT_EQ(Column(1), (Cells{"open", "Café crème", "never searched", "Café € 5"}));
  EXPECT_EQ(Column(2),
            (Cells{"2024-03-10 Sun 14:00", "!!! Error !!!", "", "2024-03-10 Sun 14:00"}));
  EXPECT_EQ(table->TaskText[5], "Caf\xe9 cr\xe8me") << "display never rewrites the bytes";
  EXPECT_EQ(form->List().SelectedRow(), 0);

  Click(Find("Option2"));
  EXPECT_EQ(Column(0), (Cells{"2"}));
  EXPECT_TRUE(form->List().RowChecked(0));
  EXPECT_EQ(form->List().SelectedRow(), 0);

  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  Form1 german(*table, clock, prompter, folder.path());
  german.FillTaskList();
  EXPECT_EQ(german.List().CellText(0, 2),
            QString("2024-03-10 %1 14:00").arg(QLocale().dayName(7, QLocale::ShortFormat)));
}

TEST_F(Form1Test, AMouseClickOnARowsCheckBoxTicksIt) {
  AddTask(1, "first");
  AddTask(2, "second");
  form->FillTaskList();
  QTreeView* list = ListView1();
  const QModelIndex cell = list->model()->index(1, 0);
  QStyleOptionViewItem option;
  option.initFrom(list->viewport());
  option.rect = list->visualRect(cell);
  option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
  option.text = cell.data().toString();
  const QRect box =
      list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list);
  ASSERT_TRUE(box.isValid());
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, box.center());
  EXPECT_EQ(table->TaskChecked[2], -1);
  EXPECT_EQ(table->CheckedDate[2], clock.Now());
  EXPECT_EQ(table->TaskChecked[1], 0);
  EXPECT_EQ(Column(0), (Cells{"1"}));
}

TEST_F(Form1Test, SortingByCellTextPerView) {
  for (int id : {2, 10, 9}) AddTask(id, "task " + std::to_string(id));
  AddTask(3, "y", -1);
  AddTask(4, "z", -1);
  table->NextOccurrence[3] = std::string(kMoreThanOneYear);
  form->FillTaskList();
  EXPECT_EQ(Column(0), (Cells{"10", "2", "9"})) << "first column ascending, as text";
  ClickHeader(0);  // every click flips the order
  EXPECT_EQ(Column(0), (Cells{"9", "2", "10"}));
  EXPECT_EQ(form->List().HeaderImage(1), 2);
  ClickHeader(1);  // a new column after a descending sort: ascending
  EXPECT_EQ(Column(1), (Cells{"task 10", "task 2", "task 9"}));
  EXPECT_EQ(form->List().HeaderImage(1), 3);
  EXPECT_EQ(form->List().HeaderImage(2), 1);
  EXPECT_EQ(form->List().TodoSortColumn, "1");
  EXPECT_EQ(form->List().TodoSortOrder, "0");

  Click(Find("Option2"));
  EXPECT_EQ(Column(0), (Cells{"3", "4"})) << "Done has no sort of its own yet";
  ClickHeader(2);
  ClickHeader(2);  // ascending: the marker sorts after the dates
  EXPECT_EQ(Column(0), (Cells{"4", "3"}));
  EXPECT_EQ(form->List().DoneSortColumn, "2");
  Click(Find("Option1"));
  EXPECT_EQ(Column(1), (Cells{"task 10", "task 2", "task 9"}));
  EXPECT_EQ(form->List().HeaderImage(2), 1);
  EXPECT_EQ(form->List().HeaderImage(3), 3);
}

// A click tells the header only of the arrows that change, so that only
// those sections are painted again.
TEST_F(Form1Test, AClickChangesOnlyTheArrowsThatChange) {
  AddTask(1, "a");
  form->FillTaskList();
  ClickHeader(1);
  QSignalSpy changed(ListView1()->model(), &QAbstractItemModel::headerDataChanged);
  ClickHeader(1);  // the same column again: only its arrow flips
  ASSERT_EQ(changed.count(), 1);
  EXPECT_EQ(changed[0][1].toInt(), 1);
  EXPECT_EQ(changed[0][2].toInt(), 1);
}

// Sort values as position.txt keeps them: text, perhaps unset, junk or out
// of range, read as numbers when a view is switched to.
TEST_F(Form1Test, StoredSortValuesAreReadAsNumbers) {
  for (int id : {2, 10, 9}) AddTask(id, "task " + std::to_string(id));
  QTreeView view;
  TaskList list(&view, {}, {}, {});
  const struct {
    const char *column, *order;
    Cells ids;
    int image1;
  } stored[] = {{"0", "", {"10", "2", "9"}, 1},
                {"junk", "1", {"9", "2", "10"}, 3},
                {"7", "4", {"9", "2", "10"}, 3}};
  for (const auto& c : stored) {
    SCOPED_TRACE(c.column);
    list.TodoSortColumn = c.column;
    list.TodoSortOrder = c.order;
    list.SwitchTo(TaskList::View::ToDo, *table);
    Cells ids;
    for (int row = 0; row < list.RowCount(); ++row) ids.push_back(list.CellText(row, 0));
    EXPECT_EQ(ids, c.ids);
    EXPECT_EQ(list.HeaderImage(1), c.image1);
    EXPECT_EQ(list.SelectedRow(), 0);
  }
}

TEST_F(Form1Test, DeleteAsksThenFreesOnlyTheText) {
  for (const bool byKey : {false, true}) {
    const bool yes = byKey;  // either way of asking reaches either answer
    SCOPED_TRACE(testing::Message() << "by key " << byKey << ", yes " << yes);
    MessageBoxes::ClearAsked();
    AddTask(1, "keep");
    AddTask(2, "Caf\xe9");
    form->FillTaskList();
    SelectRow(1);
    MessageBoxes::SetNextAnswer(yes ? Answer::Yes : Answer::No);
    if (byKey)
      QTest::keyClick(ListView1(), Qt::Key_Delete, Qt::ShiftModifier);
    else
      Click(Find("Command6"));
    ASSERT_EQ(MessageBoxes::Asked().size(), 1u);
    const auto& question = MessageBoxes::Asked().front();
    EXPECT_EQ(question.text, "Delete task Café?");
    EXPECT_EQ(question.title, "Delete task");
    EXPECT_EQ(question.buttons, Buttons::YesNo);
    EXPECT_EQ(question.defaultAnswer, Answer::Yes);
    EXPECT_EQ(Column(0), (yes ? Cells{"1"} : Cells{"1", "2"}));
    EXPECT_EQ(table->TaskText[2], yes ? "" : "Caf\xe9");
    EXPECT_EQ(table->EveryNDays[2], 1) << "only the text is freed";
  }
}

TEST_F(Form1Test, WithoutASelectionEditAndDeleteDoNothing) {
  AddTask(1, "a");
  form->FillTaskList();
  ListView1()->setFocus();
  QTest::keyClick(ListView1(), Qt::Key_Backspace);
  ListView1()->selectionModel()->clear();
  Click(Find("Command6"));
  Click(Find("Command4"));
  table->TaskText.Set(1, {});
  form->FillTaskList();
  Click(Find("Command6"));
  QTest::mouseDClick(ListView1()->viewport(), Qt::LeftButton);
  EXPECT_TRUE(MessageBoxes::Asked().empty());
  EXPECT_EQ(form->Editor(), nullptr);
  EXPECT_TRUE(Find("Command2")->hasFocus()) << "the double-click still moves the focus";
}

TEST_F(Form1Test, EditByDoubleClickNewButtonSwitchesToToDo) {
  AddTask(3, "third");
  AddTask(7, "seventh");
  AddTask(8, "done", -1);
  form->FillTaskList();
  const QRect row1 = ListView1()->visualRect(ListView1()->model()->index(1, 1));
  QTest::mouseClick(ListView1()->viewport(), Qt::LeftButton, {}, row1.center());
  QTest::mouseDClick(ListView1()->viewport(), Qt::LeftButton, {}, row1.center());
  EXPECT_EQ(Opened()->Text1->text(), "seventh");
  EXPECT_FALSE(form->isEnabled());
  Opened()->Command2_Click();
  EXPECT_TRUE(form->isEnabled());

  Click(Find("Option2"));
  OpenNew()->close();
  EXPECT_TRUE(Find("Option1")->isChecked());
  EXPECT_EQ(Column(0), (Cells{"3", "7"}));
  EXPECT_EQ(table->TaskCount, 9);
  EXPECT_TRUE(form->isEnabled());
}

// Slot 0 stays where it is; the others move down, done tasks too.
TEST_F(Form1Test, RecountMovesTheTasksDownAndFillsTheListAgain) {
  AddTask(0, "zero");
  AddTask(5, "five");
  AddTask(9, "nine", -1);
  form->FillTaskList();
  Click(Find("Command3"));
  EXPECT_EQ(Column(0), (Cells{"0", "1"}));
  EXPECT_EQ(Column(1), (Cells{"zero", "five"}));
  EXPECT_EQ(table->TaskText[2], "nine");
  EXPECT_EQ(table->TaskCount, 9) << "the next refresh recounts";
}

TEST_F(Form1Test, RecalculateAllSearchesEveryTaskAgain) {
  AddTask(1, "a");
  AddTask(2, "b", -1);
  table->PreviousOccurrence[1] = std::string("ok");
  clock.AdvanceHours(3);
  Click(Find("Command7"));
  EXPECT_EQ(Column(2), (Cells{"2024-03-10 Sun 17:00"}));
  Click(Find("Option2"));
  EXPECT_EQ(Column(2), (Cells{"2024-03-10 Sun 18:00"})) << "still ticked, searched again";
}

TEST_F(Form1Test, ScreenshotsOfBothWindows) {
  AddTask(1, "Water the plants");
  AddTask(2, "Pay the rent");
  AddTask(3, "Back up the laptop");
  AddTask(10, "Call mother");
  AddTask(12, "Empty the dishwasher", -1);
  table->DayOfMonthMask[2].Fill(0);
  table->DayOfMonthMask[2][0] = 1;
  FindOccurrences(*table, 2, clock.Now());
  form->FillTaskList();
  form->ColumnClick(3);
  EXPECT_EQ(form->findChildren<QToolButton*>().size(), 7);
  for (QToolButton* button : form->findChildren<QToolButton*>()) {
    EXPECT_EQ(button->icon().pixmap(QSize(25, 28), 2.0).size(), QSize(50, 56));
    EXPECT_FALSE(button->accessibleName().isEmpty()) << "icon-only buttons need a name";
    EXPECT_TRUE(button->toolTip().startsWith(button->accessibleName()));
  }
  EXPECT_EQ(form->ImageList1(1).pixmap(QSize(8, 8), 2.0).size(), QSize(16, 16));
  SaveScreenshots(form.get(), "form1");

  SelectRow(3);  // "Pay the rent": on the 1st only
  Click(Find("Command4"));
  SaveScreenshots(Opened(), "form2");
  Opened()->Command2_Click();
}

}  // namespace
}  // namespace zelto::test
