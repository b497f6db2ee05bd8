#pragma once

#include <QIcon>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>

#include "mainwindow/pictures.h"
#include "mainwindow/placement.h"
#include "schedule/hourwatch.h"
#include "store/datafile.h"
#include "store/ports.h"
#include "store/tasktable.h"

class QGroupBox;
class QPushButton;
class QRadioButton;
class QTimer;
class QToolButton;
class QTreeView;

namespace zelto {

class Form2;
class MessageBoxes;
class Notifier;
class TaskListModel;
class TrayIcon;

// The main window: the "Tasks" view switch, the seven command buttons and
// the task list. It owns no task data; every change ends with a rebuild of
// the list from the table.
// How a save from the window ended.
enum class SaveResult {
  Saved,
  Declined,   // "No" to the DataFileError question: nothing written
  Cancelled,  // "Cancel" to that question: nothing written
  Failed,     // "Error saving file!" was shown; content.txt is unchanged
};

class Form1 : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kTwipsPerPixel = kDesignTwipsPerPixel;
  // The list's three columns as start-up adds them: "ID", "Task", the occurrence.
  static constexpr std::array<int, 3> kColumnTwips{650, 3100, 2000};

  Form1(TaskTable& table, const Clock& clock, MessageBoxes& prompter, std::filesystem::path folder,
        QWidget* parent = nullptr);
  ~Form1() override;

  // Controls, under their design names (also their object names).
  QGroupBox* Frame1 = nullptr;
  QRadioButton* Option1 = nullptr;  // "ToDo"
  QRadioButton* Option2 = nullptr;  // "Done"
  QToolButton* Command5 = nullptr;  // New task
  QToolButton* Command4 = nullptr;  // Edit task
  QToolButton* Command6 = nullptr;  // Delete task
  QToolButton* Command3 = nullptr;  // Re-count
  QToolButton* Command7 = nullptr;  // Recalculate All
  QToolButton* Command1 = nullptr;  // Refresh list & Save
  QToolButton* Command8 = nullptr;  // About
  QPushButton* Command2 = nullptr;  // "dummy": the hidden focus sink
  QTreeView* ListView1 = nullptr;
  QTimer* Timer1 = nullptr;  // 1000 ms; the hour watch is connected by the start-up code
  QTimer* Timer2 = nullptr;  // 200 ms; never started

  // Header images by number (1 "asc", 2 "desc", 3 "none", 4 "tray") and
  // the notification-area image.
  QIcon ImageList1(int index) const;
  QIcon ImageList2() const { return trayImage_; }

  // Sort settings per view, kept as the text the position file holds; an
  // unset (empty) value counts as 0.
  QString TodoSortColumn;
  QString TodoSortOrder;
  QString DoneSortColumn;
  QString DoneSortOrder;

  // Set when the data file could not be opened at start-up; the save asks
  // before it overwrites anything while this is set.
  int16_t DataFileError = 0;

  // Hand-over to the editor.
  QString EditMode;
  int16_t EditTaskId = 0;

  // The list.
  void FillTaskList();
  void ColumnClick(int column);  // column numbered from 1
  void ItemCheck(int row, bool checked);
  void Option1_Click();
  void Option2_Click();
  // The list's own sort column (0..2) and order (0 ascending, 1 descending).
  int ListSortKey() const;
  int ListSortOrder() const;
  void SetListSort(int column, int order);  // also re-sorts the rows
  // Header images: column numbered from 1, image 1..3.
  void SetHeaderImage(int column, int image);
  int HeaderImage(int column) const;
  QString HeaderText(int column) const;  // column numbered from 1
  int RowCount() const;
  QString CellText(int row, int column) const;  // column 0..2
  bool RowChecked(int row) const;
  int SelectedRow() const;  // -1 when no row is selected

  // The due-task refresh followed by a rebuild of the list; returns the
  // restore request (a ticked task fell due while minimised).
  bool RefreshAndFill();
  void RecalculateAndFill();

  // The commands.
  void Command1_Click();  // Refresh list & Save
  void Command3_Click();  // Re-count
  void Command4_Click();  // Edit task
  void Command5_Click();  // New task
  void Command6_Click();  // Delete task
  void Command7_Click();  // Recalculate All
  void Command8_Click();  // About
  void ListView1_DblClick();
  void ListView1_KeyUp(int key);

  // The editor while it is open, else null.
  Form2* Editor() const;

  // Switches "Refresh list & Save", "Re-count" and "Recalculate All" off or
  // on, in that order: around the passes and the save.
  void SetPassButtonsEnabled(bool enabled);
  // True while the window is minimised, hidden in the tray included.
  bool IsMinimized() const;
  // The three CR LF terminated lines of position.txt.
  std::string PositionFileText() const;

  // Start-up, once the single-instance check has passed: placement
  // tracking, the columns, position.txt, content.txt and one Timer1 tick.
  void StartUp();
  // Shows the window as start-up left it: minimised goes to the tray.
  void ShowAtStartUp();
  // The hour watch; Timer1 runs it every second once the window is shown.
  void Timer1_Timer();
  // Hides the minimised window behind the notification-area icon (where
  // the desktop has one; otherwise it stays minimised on the taskbar).
  void MinimizeToTray();
  // Back from the tray or the taskbar in RestoreWindowState, icon removed.
  void BringBack();
  // Back in front, in the ToDo view: a done task fell due again, or the
  // user answered the desktop notification.
  void ShowTodoInFront();
  // Session end or a termination signal: save, remove the icon and end,
  // whatever the save did. Runs as well while the window is hidden.
  void EndSession();
  // The session manager asks for the data to be saved: the session may yet
  // go on (a checkpoint, a log-off called off), so the program keeps running.
  void CommitData();

  // Told the name of each start-up step as it ends ("position", "load",
  // "tick"); the start-up measurement listens.
  std::function<void(const char*)> StartUpStepDone;

  Placement WindowPlacement;  // WindowLeft.. and RestoreWindowState
  int16_t RestoreRequest = 0;
  HourWatch HourWatch1;  // PreviousHour, CurrentHour
  TrayIcon* Tray = nullptr;
  // Tells the desktop when the hour watch finds done tasks due again.
  Notifier* Notifications = nullptr;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  QToolButton* MakePictureButton(const char* name, const QString& tip, const QString& picture,
                                 int left);
  void SelectFirstRow();
  void ShowViewHeaderImages(const QString& column, const QString& order);
  bool IsTodoView() const;
  // The id of the selected row as its first cell reads, if it names a slot.
  std::optional<int> SelectedTaskId() const;
  void DeleteSelectedTask();
  void EditSelectedTask();
  void OpenEditor();

  TaskTable& table_;
  const Clock& clock_;
  MessageBoxes& prompter_;
  std::filesystem::path folder_;
  TaskListModel* model_ = nullptr;
  std::array<QIcon, 5> imageList1_;
  QIcon trayImage_;
  std::array<QString, 7> weekdayNames_;  // Sunday first, the user's locale
  QPointer<Form2> editor_;

  // Start-up and shutdown.
  void ApplyPositionFile();
  void RecordPlacement();
  void FitListToWindow();
  void CorrectStartSize();
  SaveResult SaveDataFile();
  SaveResult Save();
  void FinishShutdown();
  bool started_ = false;                 // placement tracking and the lifecycle are on
  bool saving_ = false;                  // a save (and perhaps its question) is under way
  bool ended_ = false;                   // the shutdown has run: the next close just closes
  bool endRequested_ = false;            // the session ends: no save result keeps the window
  int16_t startState_ = 0;               // the window state position.txt asked for
  std::optional<QRect> startOuterRect_;  // from position.txt, while the frame is not yet known
  // Column widths in twips as position.txt gave them: written back unchanged
  // while the column keeps the pixel width they made.
  std::array<float, 3> columnTwips_{kColumnTwips[0], kColumnTwips[1], kColumnTwips[2]};
};

}  // namespace zelto
