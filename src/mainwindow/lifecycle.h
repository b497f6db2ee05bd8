#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "schedule/hourwatch.h"
#include "schedule/passes.h"
#include "store/datafile.h"
#include "store/merge.h"
#include "store/ports.h"
#include "store/tasktable.h"

namespace zelto {

class Autosave;
class FileWatch;
class Form1;
class MessageBoxes;
class Notifier;
class TrayIcon;

// content.txt read and loaded before the window exists: start-up does it
// beside the toolkit's own start. The window takes it only while the file
// is still the one that was read.
struct EarlyLoad {
  std::filesystem::path folder;
  std::unique_ptr<TaskTable> table = MakeTaskTable();  // until the window's owner takes it
  const TaskTable* loadedInto = table.get();
  FileRead read;
  LoadResult loaded;
  std::uint64_t hash = 0;  // of read's bytes
  // The base of a later merge, made with the load; read's bytes are given
  // back once it is, unless some tasks could not be loaded.
  MergeBase shared;
};

// Reads and loads <folder>/content.txt into a new table; asks nothing and
// changes nothing on disk.
EarlyLoad LoadEarly(std::filesystem::path folder);

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
  // With `early` (loaded into this window's table), content.txt is taken
  // from it when the file has not changed since, instead of read again.
  void StartUp(EarlyLoad* early = nullptr);
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
  // Another program may have written content.txt: compares it with what was
  // last loaded or saved, and takes the other program's work in, quietly
  // when there is nothing unsaved here, else by a merge that asks about
  // conflicts. Runs a moment after the file or its folder changed and
  // before every save; held back while a save of the program's own is under
  // way, the editor is open or a message box waits.
  void CheckDataFile();
  // The editor closed: a look at the data file that it held back runs now.
  void EditorClosed();

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
  FileWatch* DataWatch = nullptr;

 private:
  enum class Look {
    Same,     // content.txt is what was last loaded or saved (or is gone)
    Taken,    // the other program's version is in the table now
    Merged,   // ... merged with the changes here, which are still to be saved
    Held,     // not looked at now: it will be, later
    Refused,  // it cannot be read, or may not be merged: only a confirmed save writes
  };
  // `beforeSave`: the editor does not hold it back (the save must go on).
  Look LookAtDataFile(bool beforeSave);
  Look TakeOther(DiskCheck& disk);
  Look MergeOther(DiskCheck& disk, const TaskTable& theirs);
  // Writes the other program's file beside content.txt and says why; false
  // when it could not be written.
  bool KeepOtherWhole(const DiskCheck& disk, int left);
  // Puts the other program's version in place of the table: the due-task
  // refresh, the list with its view, sort and selection kept, the load's
  // messages.
  void Reload(DiskCheck& disk, std::unique_ptr<TaskTable> theirs, const LoadResult& loaded);
  // Takes the version just put into the table (`read`: loaded without a
  // problem) as the base of a later merge, while `meanwhile` runs, which may
  // change ticks and occurrences but no text or rule: the texts and rules
  // are hashed, and the version's bytes freed, on a thread of their own.
  void ShareLoadedVersion(bool read, FileBytes bytes, const std::function<void()>& meanwhile);
  // The refresh's aftermath, as at every hour: a save, notifications and
  // the window's return.
  void AfterRefresh(const RefreshResult& refreshed);
  struct Selected {
    int id = 0;
    std::string text;
  };
  // The selected task, taken before the table changes under the list.
  std::optional<Selected> SelectedTask() const;
  // Rebuilds the list after the table was replaced, keeping the selected
  // task and the scroll position.
  void RefreshKeepingSelection(const std::optional<Selected>& before);
  SaveBytes MakeBytes(bool guarded);
  void OwnSaveEnded(const SaveWriteResult& result, SaveBytes& bytes);
  bool Dirty() const { return changes_ != savedChanges_; }
  void WatchDataFile();
  // Says once of each conflict copy a sync program left beside the data file.
  void NoteConflictCopies();

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
  // The session's end once nothing is under way: save, shut down, quit.
  void EndNow();

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

  // The version of content.txt last loaded or saved, and what a merge
  // needs of it: the base that both sides shared when the other program's
  // version is merged.
  FileStamp known_;
  MergeBase base_;
  std::uint64_t changes_ = 0;       // table changes so far
  std::uint64_t savedChanges_ = 0;  // ... of them in the version last loaded or saved
  bool looking_ = false;            // a look at the data file (and its questions) is under way
  bool lookHeld_ = false;
  // DataFileError was set by a look at a version that could not be read,
  // not by start-up: base_ is still the version both last shared.
  bool unreadableSinceStart_ = false;
  // Another program's version with a record cut short, seen once: perhaps
  // still being written, so it waits this long for a second look.
  FileStamp unsettled_;
  static constexpr int kSettleMs = 1000;
  QTimer* retryLook_ = nullptr;
  std::set<std::filesystem::path> copiesNoted_;
};

}  // namespace zelto
