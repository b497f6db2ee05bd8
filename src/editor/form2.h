#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "store/ports.h"
#include "store/tasktable.h"

class QCheckBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace zelto {

class MessageBoxes;

// "New / Edit Task": edits one slot of the task table in place. Modeless,
// with the main window disabled from opening until the dialog closes.
class Form2 : public QDialog {
  Q_OBJECT

 public:
  // editMode and editTaskId are the main window's hand-over values: "new"
  // allocates an id and writes it back, "edit" loads that slot. Save and
  // Cancel set editMode back to "". fillTaskList rebuilds the main list.
  Form2(TaskTable& table, const Clock& clock, MessageBoxes& prompter, QString& editMode,
        int16_t& editTaskId, std::function<void()> fillTaskList, QWidget* mainWindow);
  ~Form2() override;

  // Runs the opening steps, then shows the dialog with the caret after the
  // task text.
  void Open();

  // The slot this dialog edits.
  int16_t TaskId() const { return taskId_; }

  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label4 = nullptr;
  QLineEdit* Text1 = nullptr;           // the task text
  QLineEdit* Text2 = nullptr;           // each n days
  QGroupBox* Frame1 = nullptr;          // Weekday
  QGroupBox* Frame2 = nullptr;          // Hour
  QGroupBox* Frame3 = nullptr;          // Month
  QGroupBox* Frame4 = nullptr;          // Day
  QGroupBox* Frame5 = nullptr;          // Each n day
  std::array<QCheckBox*, 7> Check1{};   // weekdays, Sunday first
  std::array<QCheckBox*, 24> Check2{};  // hours
  std::array<QCheckBox*, 12> Check3{};  // months
  std::array<QCheckBox*, 31> Check4{};  // days of the month
  QPushButton* Command1 = nullptr;      // Save
  QPushButton* Command2 = nullptr;      // Cancel
  QPushButton* Command3 = nullptr;      // Hour +
  QPushButton* Command4 = nullptr;      // Hour -
  QPushButton* Command5 = nullptr;      // Weekday +
  QPushButton* Command6 = nullptr;      // Weekday -
  QPushButton* Command7 = nullptr;      // Day +
  QPushButton* Command8 = nullptr;      // Day -
  QPushButton* Command9 = nullptr;      // Month +
  QPushButton* Command10 = nullptr;     // Month -
  QDateEdit* DTPicker1 = nullptr;

  void Command1_Click();  // Save
  void Command2_Click();  // Cancel

  // A box's value as the table stores it: 0, 1, or 2 for the greyed state.
  static int16_t CheckValue(const QCheckBox* box);
  static void SetCheckValue(QCheckBox* box, int16_t value);

 public slots:
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  void Form_Load();
  void LoadSlot(int id);
  void EnableMainWindow();

  TaskTable& table_;
  const Clock& clock_;
  MessageBoxes& prompter_;
  QString& editMode_;
  int16_t& editTaskId_;
  std::function<void()> fillTaskList_;
  QPointer<QWidget> mainWindow_;
  int16_t taskId_ = 0;
  // The slot's text as loaded and as shown: an unedited text is stored back
  // byte for byte, whatever encoding it came in.
  std::string loadedText_;
  QString shownText_;
};

}  // namespace zelto
