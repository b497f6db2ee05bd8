#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QLineEdit>
#include <QLocale>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <filesystem>
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
    table->TaskText.Set(id, text);
    table->EveryNDays[id] = 1;
    table->StartDay[id] = 18;
    table->StartMonth[id] = 12;
    table->StartYear[id] = 2011;
    for (MaskColumn::Ref mask : {table->HourMask[id], table->WeekdayMask[id],
                                 table->DayOfMonthMask[id], table->MonthMask[id]})
      mask.Fill(1);
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

  // A new window started over the folder's files, as the program does.
  void Start(const char* position = nullptr) {
    if (position) WriteFileBytes(folder / "position.txt", position);
    form = std::make_unique<Form1>(*table, clock, prompter, folder.path());
    BeforeStartUp();
    form->Life().StartUp();
    form->Life().ShowAtStartUp();
    QApplication::processEvents();
  }
  virtual void BeforeStartUp() {}
  // A task due at `hour` of every day, written to content.txt with the rest.
  void WriteTask(int id, const std::string& text, int hour, int16_t checked) {
    AddTask(id, text, checked);
    table->HourMask[id].Fill(0);
    table->HourMask[id][hour] = 1;
    FindOccurrences(*table, id, clock.Now());
    WriteFileBytes(folder / "content.txt", FormatDataFile(*table));
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

// `widget` at 1x and 2x in build/screenshots, for a look by eye.
inline void SaveScreenshots(QWidget* widget, const std::string& name) {
  const auto folder = std::filesystem::path(ZELTO_EXECUTABLE).parent_path() / "screenshots";
  std::filesystem::create_directories(folder);
  for (int scale : {1, 2}) {
    QPixmap pixmap(widget->size() * scale);
    pixmap.setDevicePixelRatio(scale);
    pixmap.fill(Qt::white);
    widget->render(&pixmap);
    const auto file = folder / (name + "@" + std::to_string(scale) + "x.png");
    EXPECT_TRUE(pixmap.save(QString::fromStdString(file.string())));
  }
}

}  // namespace zelto::test
