#pragma once

#include <QIcon>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "mainwindow/hourwatch.h"
#include "mainwindow/placement.h"
#include "mainwindow/tasklist.h"
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
class TrayIcon;

// The main window: the "Tasks" view switch, the seven command buttons and
// the task list. It owns no task data; every change ends with a rebuild of
// the list from the table. Its controls keep their design names as object
// names (findChild finds them).
class Form1 : public QWidget, public WindowHooks {
  Q_OBJECT

 public:
  Form1(TaskTable& table, const Clock& clock, MessageBoxes& prompter, std::filesystem::path folder,
        QWidget* parent = nullptr);
  ~Form1() override;

  // The list of the current view, rebuilt from the table.
  void FillTaskList();
  // A click on header `column` (numbered from 1).
  void ColumnClick(int column);
  // The due-task refresh followed by a rebuild of the list; returns the
  // restore request (a ticked task fell due while minimised).
  bool RefreshAndFill();

  const TaskList& List() const { return *list_; }
  const Placement& WindowPlacement() const { return placement_.Values; }
  // Header images by number (1 "asc", 2 "desc", 3 "none", 4 "tray") and
  // the notification-area image.
  QIcon ImageList1(int index) const;
  QIcon ImageList2() const { return trayImage_; }
  // The editor while it is open, else null.
  Form2* Editor() const;

  // WindowHooks
  void SetPassButtonsEnabled(bool enabled) override;
  bool IsMinimized() const override;
  std::string PositionFileText() const override;

  // Start-up, once the single-instance check has passed: placement
  // tracking, the columns, position.txt, content.txt and one Timer1 tick.
  void StartUp();
  // Shows the window as start-up left it: minimised goes to the tray.
  void ShowAtStartUp();
  // The hour watch; Timer1 runs it every second once the window is shown.
  void Timer1_Timer();
  // Session end or a termination signal: save, remove the icon and end,
  // whatever the save did. Runs as well while the window is hidden.
  void EndSession();
  // The session manager asks for the data to be saved: the session may yet
  // go on (a checkpoint, a log-off called off), so the program keeps running.
  void CommitData();
  // Told the name of each start-up step as it ends ("position", "load",
  // "tick"); the start-up measurement listens.
  std::function<void(const char*)> StartUpStepDone;

  // Set when the data file could not be opened at start-up; the save asks
  // before it overwrites anything while this is set.
  int16_t DataFileError = 0;
  int16_t RestoreRequest = 0;
  std::optional<HourWatch> HourWatch1;  // PreviousHour, CurrentHour
  TrayIcon* Tray = nullptr;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // Controls, under their design names.
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

  void BuildControls(const QPalette& white);
  void BuildViewSwitch(const QPalette& white);
  void ConnectControls();
  QToolButton* MakePictureButton(const char* name, const QString& tip, const QString& picture,
                                 int left);
  TaskList::View CurrentView() const;

  // The list's events and the commands.
  void ItemCheck(int row, bool checked);
  void Option1_Click();
  void Option2_Click();
  void RecalculateAndFill();
  void Command1_Click();  // Refresh list & Save
  void Command3_Click();  // Re-count
  void Command4_Click();  // Edit task
  void Command5_Click();  // New task
  void Command6_Click();  // Delete task
  void Command7_Click();  // Recalculate All
  void Command8_Click();  // About
  void ListView1_DblClick();
  void ListView1_KeyUp(int key);
  // The id of the selected row, if it names a slot.
  std::optional<int> SelectedTaskId() const;
  void DeleteSelectedTask();
  void EditSelectedTask();
  void OpenEditor();

  TaskTable& table_;
  const Clock& clock_;
  MessageBoxes& prompter_;
  std::filesystem::path folder_;
  std::unique_ptr<TaskList> list_;
  std::array<QIcon, 5> imageList1_;
  QIcon trayImage_;
  QPointer<Form2> editor_;
  // Hand-over to the editor.
  QString EditMode;
  int16_t EditTaskId = 0;

  // Start-up, placement, the notification-area icon and shutdown.
  void ApplyPositionFile();
  void RecordPlacement();
  void FitListToWindow();
  void CorrectStartSize();
  // Hides the minimised window behind the notification-area icon (where
  // the desktop has one; otherwise it stays minimised on the taskbar).
  void MinimizeToTray();
  // Back from the tray or the taskbar in RestoreWindowState, icon removed.
  void BringBack();
  SaveResult Save();
  void FinishShutdown();
  PlacementTracker placement_;
  bool started_ = false;       // placement tracking and the lifecycle are on
  bool saving_ = false;        // a save (and perhaps its question) is under way
  bool ended_ = false;         // the shutdown has run: the next close just closes
  bool endRequested_ = false;  // the session ends: no save result keeps the window
};

}  // namespace zelto
