#include <QClipboard>
#include <QGroupBox>
#include <QLabel>
#include <QScreen>

#include "look/twips.h"
#include "mainwindow/form1_fixture.h"

namespace zelto::test {
namespace {

class Form2Test : public Form1Test {
 protected:
  // Task `id`, already added, opened through "Edit task".
  Form2* OpenEdit(int id) {
    form->FillTaskList();
    for (int row = 0; row < form->List().RowCount(); ++row)
      if (form->List().CellText(row, 0) == QString::number(id)) SelectRow(row);
    Click(Find("Command4"));
    return Opened();
  }
};

TEST_F(Form2Test, NewTaskSavedUntouchedTakesTheInitialRule) {
  Form2* editor = OpenNew();
  EXPECT_FALSE(form->isEnabled());
  EXPECT_EQ(editor->DTPicker1->date(), QDate(2011, 12, 18));
  // The slot was used before; a new task takes over its tick and date.
  table->TaskChecked[1] = -1;
  table->CheckedDate[1] = At(2020, 1, 1);
  table->HourMask[1][27] = 5;
  QTest::keyClicks(editor->Text1, "Feed the cat");
  QTest::keyClick(editor->Text1, Qt::Key_Return);  // Enter is Save
  EXPECT_TRUE(form->isEnabled());
  EXPECT_EQ(table->TaskText[1], "Feed the cat");
  EXPECT_EQ(table->EveryNDays[1], 1);
  EXPECT_EQ(table->StartYear[1], 2011);
  for (int k = 0; k < 24; ++k) EXPECT_EQ(table->HourMask[1][k], 1);
  EXPECT_EQ(table->HourMask[1][27], 5) << "entries without a box are left alone";
  EXPECT_EQ(table->TaskChecked[1], -1);
  EXPECT_EQ(table->CheckedDate[1], At(2020, 1, 1));
  EXPECT_EQ(table->NextOccurrence[1], Occurrence(At(2024, 3, 10, 15)));
}

TEST_F(Form2Test, OpeningStateAndEscapeCancels) {
  AddTask(4, "Call the plumber");
  table->WeekdayMask[4][3] = 7;  // no box shows 7
  Form2* editor = OpenEdit(4);
  EXPECT_EQ(Form2::CheckValue(editor->Check1[3]), 1) << "the initial ticked state";
  EXPECT_EQ(editor->focusWidget(), editor->Text1);
  EXPECT_EQ(editor->Text1->cursorPosition(), 16);
  EXPECT_FALSE(editor->Text1->hasSelectedText());
  QTest::keyClick(editor, Qt::Key_Escape);
  EXPECT_EQ(form->Editor(), nullptr);
  EXPECT_TRUE(form->isEnabled());
}

struct Frame {
  QPushButton *plus, *minus;
  std::vector<QCheckBox*> boxes;
};
std::array<Frame, 4> Frames(Form2* e) {  // hour, weekday, day, month
  auto all = [](const auto& grid) { return std::vector<QCheckBox*>(grid.begin(), grid.end()); };
  return {{{e->Command3, e->Command4, all(e->Check2)},
           {e->Command5, e->Command6, all(e->Check1)},
           {e->Command7, e->Command8, all(e->Check4)},
           {e->Command9, e->Command10, all(e->Check3)}}};
}
std::array<MaskColumn::Ref, 4> Masks(TaskTable& t, int id) {
  return {t.HourMask[id], t.WeekdayMask[id], t.DayOfMonthMask[id], t.MonthMask[id]};
}
int16_t Pattern(int k) {
  return k % 2 ? 2 : 1;
}  // greyed and ticked, beyond the boxes too

TEST_F(Form2Test, PlusAndMinusSetOneFrameAndNothingElse) {
  for (int f = 0; f < 4; ++f) {
    SCOPED_TRACE(f);
    AddTask(1, "task");
    for (MaskColumn::Ref mask : Masks(*table, 1))
      for (int k = 0; k < kMaskSize; ++k) mask[k] = Pattern(k);
    Form2* editor = OpenEdit(1);
    const Frame frame = Frames(editor)[f];
    EXPECT_EQ(Form2::CheckValue(frame.boxes[1]), 2) << "a stored 2 shows greyed";
    Click(frame.minus);
    for (QCheckBox* box : frame.boxes) EXPECT_EQ(Form2::CheckValue(box), 0);
    for (int16_t expected : {1, 0}) {  // clicks never grey a box
      Click(frame.boxes[0]);
      EXPECT_EQ(Form2::CheckValue(frame.boxes[0]), expected);
    }
    Click(editor->Command1);
    for (int g = 0; g < 4; ++g) {
      const int boxes = static_cast<int>(frame.boxes.size());
      for (int k = 0; k < kMaskSize; ++k)
        EXPECT_EQ(Masks(*table, 1)[g][k], g == f && k < boxes ? 0 : Pattern(k)) << g << "/" << k;
    }
    editor = OpenEdit(1);
    const Frame again = Frames(editor)[f];
    Click(again.plus);
    for (QCheckBox* box : again.boxes) EXPECT_EQ(Form2::CheckValue(box), 1);
    editor->Command2_Click();
  }
}

// Enter goes to the button that has the focus; from anywhere else it is
// "Save". Each case edits task 1, moves the focus and presses the key.
TEST_F(Form2Test, EnterPressesTheFocusedButtonElseSave) {
  enum Outcome { Stored, Dropped, FrameCleared };
  using Focus = QWidget* (*)(Form2*);
  const struct {
    const char* what;
    Focus focus;
    Qt::Key key;
    Outcome outcome;
  } cases[] = {
      {"Cancel", [](Form2* e) -> QWidget* { return e->Command2; }, Qt::Key_Return, Dropped},
      {"Month -", [](Form2* e) -> QWidget* { return e->Command10; }, Qt::Key_Enter, FrameCleared},
      {"a box", [](Form2* e) -> QWidget* { return e->Check2[5]; }, Qt::Key_Return, Stored},
      {"date", [](Form2* e) -> QWidget* { return e->DTPicker1; }, Qt::Key_Return, Stored},
      // Cancel had the focus and lost it again: Save is the default once more.
      {"after Cancel",
       [](Form2* e) -> QWidget* {
         e->Command2->setFocus(Qt::TabFocusReason);
         return e->Check1[2];
       },
       Qt::Key_Return, Stored},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    AddTask(1, "old");
    Form2* editor = OpenEdit(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == editor; }));
    editor->Text1->setText("new");
    QWidget* target = c.focus(editor);
    target->setFocus(Qt::TabFocusReason);
    ASSERT_EQ(QApplication::focusWidget(), target);
    QTest::keyClick(target, c.key);
    EXPECT_EQ(table->TaskText[1], c.outcome == Stored ? "new" : "old");
    EXPECT_EQ(form->Editor() != nullptr, c.outcome == FrameCleared);
    if (c.outcome != FrameCleared) continue;
    for (const QCheckBox* box : target->parentWidget()->findChildren<QCheckBox*>())
      EXPECT_EQ(Form2::CheckValue(box), 0) << box->objectName().toStdString();
    editor->Command2_Click();
  }
}

TEST_F(Form2Test, IntervalTextIsReadInTheLocaleAndRoundedHalfToEven) {
  const struct {
    const char* text;
    int16_t stored;
    bool german = false;
  } cases[] = {{"2.5", 2}, {"3.5", 4}, {" -3 ", -3}, {"32767.5", 5}, {"abc", 5}, {"6,5", 6, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    if (c.german) QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    AddTask(1, "task");
    table->EveryNDays[1] = 5;
    Form2* editor = OpenEdit(1);
    EXPECT_EQ(editor->Text2->text(), "5");
    editor->Text2->setText(c.text);
    Click(editor->Command1);
    EXPECT_EQ(table->EveryNDays[1], c.stored);
  }
}

TEST_F(Form2Test, StartDateShownWhenThePickerCanShowIt) {
  const struct {
    int16_t year, month, day;
    QDate shown;
  } cases[] = {{2012, 2, 29, QDate(2012, 2, 29)},  {0, 0, 0, QDate(2011, 12, 18)},
               {2013, 2, 29, QDate(2011, 12, 18)}, {1600, 12, 31, QDate(2011, 12, 18)},
               {1601, 1, 1, QDate(1601, 1, 1)},    {9999, 12, 31, QDate(9999, 12, 31)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.year);
    AddTask(1, "task");
    table->StartYear[1] = c.year;
    table->StartMonth[1] = c.month;
    table->StartDay[1] = c.day;
    Form2* editor = OpenEdit(1);
    EXPECT_EQ(editor->DTPicker1->date(), c.shown);
    Click(editor->Command1);
    EXPECT_EQ(QDate(table->StartYear[1], table->StartMonth[1], table->StartDay[1]), c.shown);
  }
}

TEST_F(Form2Test, EditKeepsTheTickAndRecomputesAnErrorTask) {
  AddTask(3, "broken", -1);
  table->CheckedDate[3] = At(2024, 3, 9, 7);
  table->PreviousOccurrence[3] = std::string(kErrorMarker);
  table->NextOccurrence[3] = std::string(kErrorMarker);
  Click(Find("Option2"));
  Form2* editor = OpenEdit(3);
  Click(editor->Command1);
  EXPECT_EQ(table->PreviousOccurrence[3], Occurrence(At(2024, 3, 10, 14)));
  EXPECT_EQ(table->TaskChecked[3], -1);
  EXPECT_EQ(table->CheckedDate[3], At(2024, 3, 9, 7));
  EXPECT_EQ(form->List().CellText(0, 2), "2024-03-10 Sun 15:00") << "the list was rebuilt";

  editor = OpenEdit(3);  // an emptied text frees the slot
  editor->Text1->clear();
  Click(editor->Command1);
  EXPECT_FALSE(table->InUse(3));
  EXPECT_EQ(form->List().RowCount(), 0);
}

TEST_F(Form2Test, LimitMessageAboveTenThousandAndNothingStored) {
  table->TaskCount = 10000;
  AddTask(10000, "last");
  MessageBoxes::SetNextAnswer(Answer::Ok);
  Form2* editor = OpenNew();
  ASSERT_EQ(MessageBoxes::Asked().size(), 1u);
  EXPECT_EQ(MessageBoxes::Asked()[0].text, "Maximum of 10000 entries reached. Try Re-count.");
  EXPECT_EQ(MessageBoxes::Asked()[0].buttons, Buttons::Ok);
  EXPECT_EQ(table->TaskCount, 10001);
  QTest::keyClicks(editor->Text1, "one too many");
  Click(editor->Command1);
  EXPECT_EQ(form->Editor(), nullptr);
  EXPECT_EQ(table->TaskText[10000], "last");
  EXPECT_EQ(form->List().RowCount(), 1);
}

// A refresh while a "new" dialog is open counts only the slots in use, so
// the counter can fall below the id the dialog is about to fill. Cancel
// leaves the counter advanced.
TEST_F(Form2Test, NewNeverHandsOutASlotInUse) {
  for (int id = 1; id <= 3; ++id) AddTask(id, "t");
  for (const char* text : {"fourth", "fifth"}) {
    Form2* editor = OpenNew();
    EXPECT_FALSE(form->RefreshAndFill().restore);  // the hour watch, behind the dialog
    QTest::keyClicks(editor->Text1, text);
    Click(editor->Command1);
  }
  EXPECT_EQ(table->TaskText[4], "fourth");
  EXPECT_EQ(table->TaskText[5], "fifth");
  Click(OpenNew()->Command2);
  EXPECT_EQ(table->TaskCount, 6);
  EXPECT_FALSE(table->InUse(6));
}

TEST_F(Form2Test, PastedLineBreaksBecomeBlanks) {
  Form2* editor = OpenNew();
  QGuiApplication::clipboard()->setText("first line\r\nsecond\nthird");
  QTest::keyClicks(editor->Text1, "Note: ");
  QTest::keySequence(editor->Text1, QKeySequence::Paste);
  EXPECT_EQ(editor->Text1->text(), "Note: first line second third");
  editor->Text1->setText("a\u2028b\rc");  // put in by other means: mended at Save
  Click(editor->Command1);
  EXPECT_EQ(table->TaskText[1], "a b c");
}

TEST_F(Form2Test, UntouchedTextKeepsItsBytesEditedTextIsUtf8) {
  AddTask(1, "Caf\xe9");  // Windows-1252, from an older file
  AddTask(2, "Caf\xe9 noir");
  AddTask(3, "Caf\xc3\xa9 \xe2\x82\xac");  // UTF-8
  EXPECT_EQ(OpenEdit(3)->Text1->text(), "Café €");
  Opened()->Command2_Click();
  Form2* editor = OpenEdit(1);
  EXPECT_EQ(editor->Text1->text(), "Café");
  editor->Text2->setText("3");
  Click(editor->Command1);
  EXPECT_EQ(table->TaskText[1], "Caf\xe9");
  EXPECT_EQ(table->EveryNDays[1], 3);

  editor = OpenEdit(2);
  QTest::keyClicks(editor->Text1, "!");
  Click(editor->Command1);
  EXPECT_EQ(table->TaskText[2], "Caf\xc3\xa9 noir!");
}

// The "Each n day" row stands where the design puts it, a caption growing
// only to show its text whole; the window, frame included, opens in the
// middle of the screen.
TEST_F(Form2Test, PlacedAsDesigned) {
  Form2* editor = OpenNew();
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  const QSize outer = editor->frameGeometry().size();
  const QRect centred(QPoint(screen.x() + (screen.width() - outer.width()) / 2,
                             screen.y() + (screen.height() - outer.height()) / 2),
                      outer);
  EXPECT_EQ(editor->frameGeometry(), centred);
  EXPECT_EQ(editor->Frame5->geometry(), TwipsRect(240, 3720, 5775, 735));  // "Each n day"
  // "Starting from": wider than designed only as far as its text needs, and not covered.
  const QRect design = TwipsRect(1560, 315, 975, 255), label = editor->Label4->geometry();
  const int text = editor->Label4->fontMetrics().horizontalAdvance(editor->Label4->text());
  EXPECT_EQ(label, QRect(design.topLeft(), QSize(std::max(design.width(), text), design.height())));
  EXPECT_EQ(editor->Label4->parentWidget()->childAt(label.x() + text - 1, label.center().y()),
            editor->Label4);
  // The preview takes room of its own: it covers nothing, and the window
  // grows by as much as it reaches below the design's height.
  const QRect preview = editor->Label6->geometry();
  EXPECT_EQ(preview.height(), Form2::kPreviewHours * editor->Label6->fontMetrics().lineSpacing());
  for (const QWidget* other :
       std::initializer_list<const QWidget*>{editor->Frame5, editor->Command1, editor->Label5})
    EXPECT_FALSE(preview.intersects(other->geometry())) << other->objectName().toStdString();
  EXPECT_GT(editor->height(), DesignPixels(5040));
  EXPECT_TRUE(editor->rect().contains(preview));
}

const char* const kNever = "never within a year";
// The preview's first two hours (or its whole text, when shorter).
QString Preview(Form2* editor) {
  return editor->Label6->text().section('\n', 0, 1);
}

// The clock stands at Sunday 2024-03-10 14:30; a new task's rule is due at
// every hour. One box ticked (by mouse or key) after its frame's "-" shows
// that box alone.
TEST_F(Form2Test, PreviewFollowsPlusMinusAndEachBox) {
  const QString hourly =
      "2024-03-10 Sun 15:00\n2024-03-10 Sun 16:00\n2024-03-10 Sun 17:00\n"
      "2024-03-10 Sun 18:00\n2024-03-10 Sun 19:00";
  const struct {
    int frame;  // as Frames() orders them
    int box;
    bool byKey;
    const char* alone;
  } cases[] = {
      {0, 9, false, "2024-03-11 Mon 09:00\n2024-03-12 Tue 09:00"},
      {1, 2, true, "2024-03-12 Tue 00:00\n2024-03-12 Tue 01:00"},   // Tuesday
      {3, 4, false, "2024-05-01 Wed 00:00\n2024-05-01 Wed 01:00"},  // May
  };
  Form2* editor = OpenNew();
  EXPECT_EQ(editor->Label6->text(), hourly);
  EXPECT_EQ(editor->Label6->textFormat(), Qt::PlainText);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.frame);
    const Frame frame = Frames(editor)[c.frame];
    Click(frame.minus);
    EXPECT_EQ(Preview(editor), kNever);
    if (c.byKey)
      QTest::keyClick(frame.boxes[c.box], Qt::Key_Space);
    else
      Click(frame.boxes[c.box]);
    EXPECT_EQ(Preview(editor), c.alone);
    Click(frame.plus);
    EXPECT_EQ(editor->Label6->text(), hourly);
  }
}

// Hour 9 only; each n days counts from 2011-12-18 until the date changes.
TEST_F(Form2Test, PreviewFollowsTheIntervalAndTheStartDate) {
  AddTask(1, "take the bins out");
  table->HourMask[1].Fill(0);
  table->HourMask[1][9] = 1;
  table->EveryNDays[1] = 2;
  Form2* editor = OpenEdit(1);
  const char* const everyOther = "2024-03-12 Tue 09:00\n2024-03-14 Thu 09:00";
  EXPECT_EQ(Preview(editor), everyOther);
  const struct {
    const char* typed;  // into "Each"
    const char* shown;
  } intervals[] = {
      {"3", "2024-03-11 Mon 09:00\n2024-03-14 Thu 09:00"},
      {"abc", everyOther},  // not a number: Save would keep the task's 2
      {"0", "2024-03-11 Mon 09:00\n2024-03-12 Tue 09:00"},
      {"-3", "2024-03-11 Mon 09:00\n2024-03-14 Thu 09:00"},
  };
  for (const auto& c : intervals) {
    SCOPED_TRACE(c.typed);
    editor->Text2->setFocus();
    editor->Text2->selectAll();
    QTest::keyClicks(editor->Text2, c.typed);
    EXPECT_EQ(Preview(editor), c.shown);
  }
  editor->DTPicker1->setDate(QDate(2024, 3, 11));
  editor->DTPicker1->setFocus();
  editor->DTPicker1->setCurrentSection(QDateTimeEdit::DaySection);
  QTest::keyClick(editor->DTPicker1, Qt::Key_Up);
  ASSERT_EQ(editor->DTPicker1->date(), QDate(2024, 3, 12));
  EXPECT_EQ(Preview(editor), "2024-03-12 Tue 09:00\n2024-03-15 Fri 09:00");
}

// Each later hour is looked for within a year of the one before.
TEST_F(Form2Test, PreviewSaysWhenTheRuleRunsOut) {
  clock.Set(At(2027, 6, 1));
  AddTask(1, "leap day");
  table->HourMask[1].Fill(0);
  table->HourMask[1][0] = 1;
  table->DayOfMonthMask[1].Fill(0);
  table->DayOfMonthMask[1][28] = 1;
  table->MonthMask[1].Fill(0);
  table->MonthMask[1][1] = 1;
  EXPECT_EQ(Preview(OpenEdit(1)), "2028-02-29 Tue 00:00\nthen not within a year");
}

}  // namespace
}  // namespace zelto::test
