#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>

#include "schedule/hourwatch.h"
#include "store/datafile.h"
#include "store/ports.h"
#include "store/tasktable.h"

namespace zelto {

class Autosave;
class Form1;
class MessageBoxes;
class Notifier;
class TrayIcon;

// How a save from the window ended.
enum class SaveResult {
  Saved,
  Declined,   // "No" to the DataFileError question: nothing written
  Cancelled,  // "Cancel" to that question: nothing written
  Failed,     // "Error saving file!" was shown; content.txt is unchanged
};

// The main window's life: start-up, the hour watch behind Timer1, the trip
// to the notification area and back, and the saves that end it.
class Lifecycle : public QObject {
  Q_OBJECT

 public:
  Lifecycle(Form1& window, TaskTable& table, const Clock& clock, MessageBoxes& prompter,
            std::filesystem::path folder);

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
  // Asks first while DataFileError is set; writes with the pass buttons off
  // and reports a failure before it switches them on again.
  SaveResult SaveDataFile();
  // The user closes the window: saves, and says whether it may close.
  bool Close();
  // Session end or a termination signal: save, remove the icon and end,
  // whatever the save did. Runs as well while the window is hidden.
  void EndSession();
  // The session manager asks for the data to be saved: the session may yet
  // go on (a checkpoint, a log-off called off), so the program keeps running.
  void CommitData();
  // The task table changed: it is saved by itself a moment later.
  void TableChanged();

  // From start-up on, every move and resize is recorded.
  bool Started() const { return started_; }
  // The program is on its way out (a signal, the session's end, or the
  // shutdown has run): nothing may hold the window open any more.
  bool Ending() const { return endRequested_ || ended_; }
  bool TrayShown() const;

  // Told the name of each start-up step as it ends ("position", "load",
  // "tick"); the start-up measurement listens.
  std::function<void(const char*)> StartUpStepDone;
  // Set when the data file could not be opened at start-up; the save asks
  // before it overwrites anything while this is set.
  int16_t DataFileError = 0;
  int16_t RestoreRequest = 0;
  HourWatch HourWatch1;  // PreviousHour, CurrentHour
  TrayIcon* Tray = nullptr;
  // Tells the desktop when the hour watch finds done tasks due again.
  Notifier* Notifications = nullptr;
  Autosave* AutoSave = nullptr;

 private:
  SaveResult Save();
  // The DataFileError question, when it is due: nothing when the save may
  // write, else what the answer made of it (Declined or Cancelled).
  std::optional<SaveResult> AskBeforeSaving();
  // Writes position.txt and the data file with the pass buttons off; says
  // why when it failed (the file and the system's reason), else empty.
  QString WriteFiles();
  static QString WhyNotSaved(const SaveWriteResult& result);
  // "Error saving file!", with the reason below it.
  void ReportFailedSave(const QString& why);
  // The save at the user's own close; true when the window may close.
  bool SaveAtClose();
  void FinishShutdown();

  Form1& window_;
  TaskTable& table_;
  const Clock& clock_;
  MessageBoxes& prompter_;
  std::filesystem::path folder_;
  bool started_ = false;       // placement tracking and the lifecycle are on
  bool saving_ = false;        // a save (and perhaps its question) is under way
  bool ended_ = false;         // the shutdown has run: the next close just closes
  bool endRequested_ = false;  // the session ends: no save result keeps the window
  // The answer to the DataFileError question given when the session manager
  // asked for the data: the quit that follows saves without asking again.
  std::optional<Answer> sessionAnswer_;
};

}  // namespace zelto
