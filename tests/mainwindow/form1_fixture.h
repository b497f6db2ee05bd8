#pragma once

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <memory>
#include <stdexcept>
#include <string>

#include "editor/form2.h"
#include "mainwindow/form1.h"
#include "platform/messagebox.h"
#include "schedule/occurrences.h"
#include "support/core/fakes.h"

inline void PrintTo(const QString& text, std::ostream* os) {
  *os << '"' << text.toStdString() << '"';
}

namespace zelto::test {

using Cells = std::vector<QString>;

// A shown main window over a fresh table, a clock standing at a Sunday
// afternoon and the message boxes scripted. English weekday names, so
// dates read "2024-03-10 Sun 14:00".
class Form1Test : public ::testing::Test {
 protected:
  void SetUp() override {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    MessageBoxes::ClearScript();
    MessageBoxes::ClearAsked();
    form = std::make_unique<Form1>(*table, clock, prompter, folder.path());
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  }
  void TearDown() override {
    EXPECT_FALSE(MessageBoxes::HasScriptedAnswers()) << "a scripted answer was not asked for";
    MessageBoxes::ClearScript();
  }

  // A task due at every hour, started 2011-12-18, with fresh occurrences.
  void AddTask(int id, const std::string& text, int16_t checked = 0) {
    table->TaskText[id] = text;
    table->EveryNDays[id] = 1;
    table->StartDay[id] = 18;
    table->StartMonth[id] = 12;
    table->StartYear[id] = 2011;
    for (Mask* mask : {&table->HourMask[id], &table->WeekdayMask[id], &table->DayOfMonthMask[id],
                       &table->MonthMask[id]})
      mask->Fill(1);
    table->TaskChecked[id] = checked;
    FindOccurrences(*table, id, clock.Now());
    if (id > table->TaskCount) table->TaskCount = static_cast<int16_t>(id);
  }

  Cells Column(int column) const {
    Cells cells;
    for (int row = 0; row < form->List().RowCount(); ++row)
      cells.push_back(form->List().CellText(row, column));
    return cells;
  }
  void ClickHeader(int column) {
    QHeaderView* header = ListView1()->header();
    const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
  }
  void SelectRow(int row) { ListView1()->setCurrentIndex(ListView1()->model()->index(row, 0)); }
  void Click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
  // A control of the main window by its design name.
  template <typename T = QAbstractButton>
  T* Find(const char* name) const {
    auto* control = form->findChild<T*>(name);
    if (!control) throw std::runtime_error(std::string("no control ") + name);
    return control;
  }
  QTreeView* ListView1() const { return Find<QTreeView>("ListView1"); }
  // "New task"; the editor it opened (a missing one fails the test).
  Form2* OpenNew() {
    Click(Find("Command5"));
    return Opened();
  }
  Form2* Opened() const {
    if (!form->Editor()) throw std::runtime_error("no editor was opened");
    return form->Editor();
  }

  std::unique_ptr<TaskTable> table = MakeTaskTable();
  FakeClock clock{At(2024, 3, 10, 14, 30)};
  MessageBoxes prompter;
  TempFolder folder;
  std::unique_ptr<Form1> form;
};

}  // namespace zelto::test
