#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <utility>

#include "schedule/taskvalue.h"

class QCheckBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace zelto {

// "New / Edit Task": shows one task's text and rule and gives back what the
// user made of them. Modeless, with the window that opened it disabled
// until the dialog closes; the dialog never touches the task table.
class Form2 : public QDialog {
  Q_OBJECT

 public:
  enum class Mode { New, Edit };

  explicit Form2(QWidget* opener);
  ~Form2() override;

  // Shows the dialog with the caret after the task text: Edit shows `slot`,
  // New keeps the initial state of every control.
  void Open(Mode mode, const TaskValue& slot);

  // The task as the controls have it, written over `slot` (the slot as it
  // stands now): what no control shows, an interval text that is not a
  // number and mask entries without a box, keeps the slot's value.
  TaskValue Result(TaskValue slot) const;

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

 signals:
  // "Save": Result() holds what to store; the dialog closes next.
  void Saved();
  // "Cancel" or Esc. The close box closes without either signal.
  void Cancelled();

 public slots:
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildTaskText();
  void BuildFrames();
  void BuildMaskBoxes();
  void BuildButtons();
  void BuildEachNDays();
  void ChainTabOrder();
  // The four box arrays and the mask each one edits; mask entries beyond
  // the last box are neither shown nor changed.
  using MaskGrid = std::pair<std::span<QCheckBox* const>, Mask TaskValue::*>;
  std::array<MaskGrid, 4> MaskGrids() const;
  void Load(const TaskValue& slot);
  void EnableOpener();
  void CentreOnScreen();
  void GiveCaptionsRoom();

  QPointer<QWidget> opener_;
  // The slot's text as loaded and as shown: an unedited text is stored back
  // byte for byte, whatever encoding it came in.
  std::string loadedText_;
  QString shownText_;
};

}  // namespace zelto
