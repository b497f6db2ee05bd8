#include <QAccessible>
#include <QKeySequence>
#include <filesystem>

#include "form1_fixture.h"

namespace zelto::test {
namespace {

// Keys go to whatever has the focus, as a user's keys would.
void Press(QWidget* window, QKeySequence keys) {
  QWidget* target = window->focusWidget() ? window->focusWidget() : window;
  QTest::keyClick(target, keys[0].key(), keys[0].keyboardModifiers());
}

TEST_F(Form1Test, NewTaskKeysOpenTheEditorFromEitherView) {
  for (QKeySequence keys : {QKeySequence(Qt::CTRL | Qt::Key_N), QKeySequence(Qt::Key_Insert)}) {
    SCOPED_TRACE(keys.toString().toStdString());
    Click(Find("Option2"));
    ListView1()->setFocus();
    Press(form.get(), keys);
    EXPECT_EQ(Opened()->Text1->text(), "");
    EXPECT_TRUE(Find("Option1")->isChecked()) << "as the button: back to ToDo";
    Press(Opened(), keys);  // the window is off while the editor is open
    Opened()->Command2_Click();
  }
}

TEST_F(Form1Test, EditKeysWorkOnTheListsSelectedRowOnly) {
  AddTask(3, "third");
  AddTask(7, "seventh");
  form->FillTaskList();
  for (auto key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_F2}) {
    SCOPED_TRACE(key);
    SelectRow(1);
    ListView1()->setFocus();
    QTest::keyClick(ListView1(), key);
    EXPECT_EQ(Opened()->Text1->text(), "seventh");
    Opened()->Command2_Click();

    ListView1()->selectionModel()->clear();
    QTest::keyClick(ListView1(), key);
    EXPECT_EQ(form->Editor(), nullptr) << "no row selected";
    Find("Option1")->setFocus();
    QTest::keyClick(Find("Option1"), key);
    EXPECT_EQ(form->Editor(), nullptr) << "the key belongs to the list";
  }
}

// "Refresh list & Save" and its keys: the due ticked task comes back, then
// both files are written.
TEST_F(Form1Test, SaveButtonAndKeysRefreshThenWrite) {
  for (QKeySequence keys :
       {QKeySequence(), QKeySequence(Qt::CTRL | Qt::Key_S), QKeySequence(Qt::Key_F5)}) {
    SCOPED_TRACE(keys.toString().toStdString());
    std::filesystem::remove(folder / "content.txt");
    AddTask(1, "Water the plants", -1);
    clock.AdvanceHours(1);
    ListView1()->setFocus();
    if (keys.isEmpty())
      Click(Find("Command1"));
    else
      Press(form.get(), keys);
    EXPECT_EQ(table->TaskChecked[1], 0) << "the due ticked task came back";
    EXPECT_EQ(Column(1), (Cells{"Water the plants"}));
    EXPECT_EQ(ReadFileBytes(folder / "content.txt"), FormatDataFile(*table));
    EXPECT_EQ(ReadFileBytes(folder / "position.txt").substr(0, 11), "0\t0\t0\t0\t0\r\n");
  }
  // While the passes have the button switched off, its keys do nothing.
  std::filesystem::remove(folder / "content.txt");
  form->SetPassButtonsEnabled(false);
  Press(form.get(), QKeySequence(Qt::Key_F5));
  EXPECT_FALSE(std::filesystem::exists(folder / "content.txt"));
  form->SetPassButtonsEnabled(true);
}

TEST_F(Form1Test, CtrlQClosesTheWindow) {
  Press(form.get(), QKeySequence(Qt::CTRL | Qt::Key_Q));
  EXPECT_FALSE(form->isVisible());
}

// Space ticks the current row from any cell, in both views, once per press;
// the tick's time is kept to the second and dropped again by the untick.
TEST_F(Form1Test, SpaceTicksTheCurrentRowInEveryColumn) {
  for (int column = 0; column < 3; ++column) {
    SCOPED_TRACE(column);
    AddTask(1, "first");
    AddTask(2, "second");
    Click(Find("Option1"));
    EXPECT_EQ(form->List().HeaderText(3), "Previous occurence");
    clock.Set(At(2024, 3, 10, 14, 45, 10));
    ListView1()->setFocus();
    ListView1()->setCurrentIndex(ListView1()->model()->index(1, column));
    QTest::keyClick(ListView1(), Qt::Key_Space);
    EXPECT_EQ(table->TaskChecked[1], 0);
    EXPECT_EQ(table->TaskChecked[2], -1);
    EXPECT_EQ(table->CheckedDate[2], At(2024, 3, 10, 14, 45, 10));
    EXPECT_EQ(Column(0), (Cells{"1"}));

    clock.Set(At(2024, 3, 10, 14, 50));
    Click(Find("Option2"));
    EXPECT_EQ(table->CheckedDate[2], At(2024, 3, 10, 14, 45, 10)) << "filling is no tick";
    EXPECT_EQ(form->List().HeaderText(3), "Next occurence");
    EXPECT_EQ(Column(2), (Cells{"2024-03-10 Sun 15:00"}));
    ListView1()->setFocus();
    ListView1()->setCurrentIndex(ListView1()->model()->index(0, column));
    QTest::keyClick(ListView1(), Qt::Key_Space);
    EXPECT_EQ(table->TaskChecked[2], 0) << "unticked from the Done view";
    EXPECT_EQ(table->CheckedDate[2], DateTime());
    EXPECT_EQ(form->List().RowCount(), 0);
  }
}

TEST_F(Form1Test, ButtonTipsNameTheirKeys) {
  for (const auto& [button, tip] : {std::pair{"Command5", "New task (Ctrl+N, Ins)"},
                                    {"Command4", "Edit task (Enter, F2)"},
                                    {"Command6", "Delete task (Del)"},
                                    {"Command1", "Refresh list & Save (Ctrl+S, F5)"}})
    EXPECT_EQ(Find(button)->toolTip(), tip);
}

// The focus sink is read out by what it is, never as a button named "dummy".
TEST_F(Form1Test, TheFocusSinkIsNotAnnouncedAsDummy) {
  QAbstractButton* sink = Find("Command2");
  EXPECT_EQ(sink->text(), "dummy");
  QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(sink);
  ASSERT_NE(accessible, nullptr);
  EXPECT_FALSE(accessible->text(QAccessible::Name).contains("dummy", Qt::CaseInsensitive));
  EXPECT_FALSE(accessible->text(QAccessible::Description).isEmpty());
}

}  // namespace
}  // namespace zelto::test
