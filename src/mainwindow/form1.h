#pragma once

#include <QIcon>
#include <QKeySequence>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>

#include "mainwindow/lifecycle.h"
#include "mainwindow/placement.h"
#include "mainwindow/tasklist.h"
#include "schedule/passes.h"
#include "store/datafile.h"
#include "store/ports.h"
#include "store/tasktable.h"

class QGroupBox;
class QKeyEvent;
class QPushButton;
class QRadioButton;
class QTimer;
class QToolButton;
class QTreeView;

namespace zelto {

// The main window's size as designed, in twips.
inline constexpr int kDesignWidthTwips = 5775;
inline constexpr int kDesignHeightTwips = 7125;

class Form2;
class MessageBoxes;

// The main window: the "Tasks" view switch, the seven command buttons and
// the task list. It owns no task data; every change ends with a rebuild of
// the list from the table. Its controls keep their design names as object
// names (findChild finds them).
class Form1 : public QWidget {
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
  RefreshResult RefreshAndFill();

  const TaskList& List() const { return *list_; }
  const Placement& WindowPlacement() const { return placement_.Values; }
  // Header images by number (1 "asc", 2 "desc", 3 "none", 4 "tray") and
  // the notification-area image.
  QIcon ImageList1(int index) const;
  QIcon ImageList2() const { return trayImage_; }
  // The editor while it is open, else null.
  Form2* Editor() const;

  // Switches "Refresh list & Save", "Re-count" and "Recalculate All" off or
  // on, in that order: around the passes and the save.
  void SetPassButtonsEnabled(bool enabled);
  // True while the window is minimised, hidden in the tray included.
  bool IsMinimized() const;
  // The three CR LF terminated lines of position.txt.
  std::string PositionFileText() const;

  // Start-up, the hour watch, the notification area and shutdown.
  Lifecycle& Life() { return *life_; }
  const Lifecycle& Life() const { return *life_; }

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

  void BuildControls();
  void BuildViewSwitch();
  // The window's own colours from the desktop's palette, light or dark.
  void ApplyColours(const QPalette& desktop);
  void ConnectControls();
  // `keys` are named in the tooltip.
  QToolButton* MakePictureButton(const char* name, const QString& tip, const QString& picture,
                                 int left, std::initializer_list<QKeySequence> keys = {});
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
  bool ListView1_KeyDown(const QKeyEvent& key);
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
  PlacementTracker placement_;
  Lifecycle* life_ = nullptr;
  friend class Lifecycle;  // start-up shows the window its own way
};

}  // namespace zelto
