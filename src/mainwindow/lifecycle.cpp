#include "mainwindow/lifecycle.h"

#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QRadioButton>
#include <QTimer>
#include <QTreeView>
#include <exception>
#include <string_view>
#include <system_error>
#include <thread>
#include <tuple>
#include <vector>

#include "look/twips.h"
#include "mainwindow/autosave.h"
#include "mainwindow/form1.h"
#include "platform/filewatch.h"
#include "platform/messagebox.h"
#include "platform/notifier.h"
#include "platform/textcodec.h"
#include "platform/tray.h"

namespace zelto {
Lifecycle::Lifecycle(Form1& window, TaskTable& table, const Clock& clock, MessageBoxes& prompter,
                     std::filesystem::path folder)
    : QObject(&window),
      window_(window),
      table_(table),
      clock_(clock),
      prompter_(prompter),
      folder_(std::move(folder)) {
  // Made with the window, so that tests can hand it their own bus first.
  Notifications = new Notifier(this);
  AutoSave = new Autosave(
      folder_, [this] { return MakeBytes(true); },
      [this] { return started_ && !ended_ && DataFileError == 0; },
      [this](const SaveWriteResult& result) { ReportFailedSave(WhyNotSaved(result)); }, this);
  AutoSave->ReadyToWrite = [this] {
    const Look look = LookAtDataFile(true);
    return look != Look::Held && look != Look::Refused;
  };
  AutoSave->WriteEnded = [this](const SaveWriteResult& result, SaveBytes& bytes) {
    OwnSaveEnded(result, bytes);
  };
  DataWatch = new FileWatch(this);
  connect(DataWatch, &FileWatch::Changed, this, &Lifecycle::CheckDataFile);
  retryLook_ = new QTimer(this);
  retryLook_->setSingleShot(true);
  retryLook_->setInterval(FileWatch::kQuietMs);
  connect(retryLook_, &QTimer::timeout, this, &Lifecycle::CheckDataFile);
}

void Lifecycle::TableChanged() {
  ++changes_;
  AutoSave->Changed();
}

void Lifecycle::StartUp(EarlyLoad* early) {
  // From here on every move and resize is recorded, start-up's own included.
  started_ = true;
  HourWatch1.Reset();
  connect(Notifications, &Notifier::Activated, this, &Lifecycle::ShowTodoInFront);

  QHeaderView* header = window_.ListView1->header();
  for (int i = 0; i < 3; ++i) header->resizeSection(i, DesignPixels(kColumnTwips[i]));

  const auto stepDone = [this](const char* step) {
    if (StartUpStepDone) StartUpStepDone(step);
  };
  window_.ApplyPositionFile();
  stepDone("position");
  // Watched before the file is looked at, so that no change after the look
  // goes unseen.
  WatchDataFile();
  const std::filesystem::path file = folder_ / kContentFile;
  FileRead read;
  LoadResult loaded;
  std::uint64_t hash = 0;
  bool shared = false;  // base_ came with the early load
  if (early && early->loadedInto == &table_ && early->folder == folder_ &&
      early->read.problem == ReadProblem::None && StatStamp(file).SameMetadata(early->read.stamp)) {
    read = std::move(early->read);
    loaded = std::move(early->loaded);
    hash = early->hash;
    base_ = std::move(early->shared);
    shared = true;
  } else {
    // Another program replaced the file meanwhile, or the early look found
    // a problem that may be gone: what it loaded is dropped.
    if (early) table_ = std::move(*MakeTaskTable());
    read = ReadRegularFile(file);
    loaded = LoadDataRead(table_, read);
    hash = HashBytes(read.bytes.View());
  }
  known_ = read.problem == ReadProblem::None ? read.stamp : StatStamp(file);
  known_.hash = hash;
  // Tasks that could not be placed in the table would be gone with the
  // next save: the file as it is now is kept beside content.txt first, and
  // where that fails only the save's question writes over it.
  QString kept;
  bool notKept = false;
  if (!loaded.unplacedTasks.empty()) {
    // Never an empty copy for the file: without its bytes, the save asks.
    const std::filesystem::path copy =
        read.bytes.View().empty() ? std::filesystem::path()
                                  : WriteKeptCopy(folder_, read.bytes.View(), clock_.Now());
    notKept = copy.empty();
    kept = notKept ? QStringLiteral(
                         "It could not be kept beside content.txt: the list is not "
                         "saved over it without asking.")
                   : QStringLiteral("The data file as it was is kept as ") +
                         QFile::decodeName(copy.c_str());
  }
  const std::vector<std::string> messages = LoadMessages(loaded, folder_);
  for (std::size_t i = 0; i < messages.size(); ++i) {
    // The message about tasks that could not be placed comes last: it
    // carries where the file was kept.
    prompter_.Ask(DecodeText(messages[i]), DecodeText(kAppTitle), Buttons::Ok, std::nullopt,
                  i + 1 == messages.size() ? kept : QString());
  }
  DataFileError = loaded.Read() && !notKept ? 0 : 1;
  stepDone("load");
  // A file that was not read shares nothing with a later merge.
  if (shared)
    Timer1_Timer();
  else
    ShareLoadedVersion(loaded.Read(), std::move(read.bytes), [this] { Timer1_Timer(); });
  stepDone("tick");
  NoteConflictCopies();
  connect(window_.Timer1, &QTimer::timeout, this, &Lifecycle::Timer1_Timer, Qt::UniqueConnection);
}

void Lifecycle::ShareLoadedVersion(bool read, FileBytes bytes,
                                   const std::function<void()>& meanwhile) {
  // The ticks are taken before the refresh unticks the tasks that fell due;
  // the texts and rules, which neither the refresh nor the list changes, are
  // hashed beside them, off the window's way.
  // The thread fills a base of its own, taken only once it has ended: base_
  // is never written from two threads, whatever `meanwhile` does.
  MergeBase shared = read ? MakeMergeBaseTicks(table_) : MergeBase();
  {
    std::optional<std::jthread> rules;  // joined at the end of this block
    try {
      if (!shared.tasks.empty())
        rules.emplace([this, &shared, bytes = std::move(bytes)]() mutable {
          HashMergeBaseRules(shared, table_);
          bytes = {};
        });
    } catch (const std::system_error&) {
      HashMergeBaseRules(shared, table_);  // no thread to spare
    }
    meanwhile();
  }
  base_ = std::move(shared);
}

EarlyLoad LoadEarly(std::filesystem::path folder) {
  EarlyLoad early;
  early.folder = std::move(folder);
  early.read = ReadRegularFile(early.folder / kContentFile);
  early.loaded = LoadDataRead(*early.table, early.read);
  early.hash = HashBytes(early.read.bytes.View());
  if (early.loaded.Read()) early.shared = MakeMergeBase(*early.table);
  // Start-up keeps a copy of a file whose tasks did not all load.
  if (early.loaded.unplacedTasks.empty()) early.read.bytes = {};
  return early;
}

void Lifecycle::ShowAtStartUp() {
  if (window_.placement_.StartState == 1) {
    if (TrayIcon::Available()) {
      window_.setWindowState(Qt::WindowMinimized);
      MinimizeToTray();
    } else {
      window_.showMinimized();
    }
  } else if (window_.placement_.StartState == 2) {
    window_.showMaximized();
  } else {
    window_.show();
  }
  QTimer::singleShot(0, &window_, &Form1::CorrectStartSize);
  window_.Timer1->start();
}

void Lifecycle::Timer1_Timer() {
  // Not while a merge waits for its answer: the plan is of the table as it was.
  if (!started_ || looking_ || !HourWatch1.Tick(clock_.Now())) return;
  AfterRefresh(window_.RefreshAndFill());
}

void Lifecycle::AfterRefresh(const RefreshResult& refreshed) {
  RestoreRequest = refreshed.restore ? 1 : 0;
  if (refreshed.changed) TableChanged();
  // Done tasks that fell due again: the desktop is told of them, whether the
  // window is hidden, behind others or not. It names only the first few.
  QStringList first;
  for (const int id : refreshed.dueAgain) {
    if (first.size() == Notifier::kShownTasks) break;
    first << DecodeText(table_.TaskText[id]);
  }
  Notifications->TasksDueAgain(first, static_cast<qsizetype>(refreshed.dueAgain.size()));
  if (RestoreRequest != 1) return;
  // A done task fell due while the window was hidden: back, in ToDo.
  RestoreRequest = 0;
  ShowTodoInFront();
}

void Lifecycle::ShowTodoInFront() {
  BringBack();
  window_.Option1->setChecked(true);
  window_.Option1_Click();
}

// The notification-area icon ------------------------------------------------

void Lifecycle::MinimizeToTray() {
  // Without a notification area a hidden window could not be reached again:
  // it stays minimised on the taskbar instead. So it does under an open
  // question: the question would go with it, and the icon, blocked by the
  // question, could bring neither back.
  if (!TrayIcon::Available() || QApplication::activeModalWidget() != nullptr) return;
  if (!Tray) {
    Tray = new TrayIcon(window_.ImageList2(), &window_);
    connect(Tray, &TrayIcon::Released, this, &Lifecycle::BringBack);
  }
  window_.hide();
  Tray->Show();
}

void Lifecycle::BringBack() {
  window_.placement_.StartState = 0;  // brought back before the first showing: it opens shown
  if (window_.placement_.Values.RestoreWindowState == 1)
    window_.placement_.Values.RestoreWindowState = 0;
  const Qt::WindowStates state =
      window_.placement_.Values.RestoreWindowState == 2 ? Qt::WindowMaximized : Qt::WindowNoState;
  window_.setWindowState((window_.windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized)) |
                         state);
  window_.show();
  window_.raise();
  window_.activateWindow();
  if (Tray) Tray->Remove();
  QTimer::singleShot(0, &window_,
                     &Form1::CorrectStartSize);  // first showing after a start in the tray
}

// Shutdown ------------------------------------------------------------------

std::optional<SaveResult> Lifecycle::AskBeforeSaving() {
  using namespace std::string_view_literals;
  if (DataFileError == 0) return std::nullopt;
  const Answer answer = endRequested_ && sessionAnswer_
                            ? *sessionAnswer_
                            : prompter_.Ask(
                                  "There was an error opening the data file... Do you really want "
                                  "to save this data?"sv,
                                  "Zelto Todo List save data"sv, Buttons::YesNoCancel);
  if (answer == Answer::Yes) return std::nullopt;
  return answer == Answer::No ? SaveResult::Declined : SaveResult::Cancelled;
}

// The reason for a failed save, for the user to act on: the file and the
// system's words for the error; empty when everything was written.
QString Lifecycle::WhyNotSaved(const SaveWriteResult& result) {
  if (result.Saved()) return {};
  if (result.changedOnDisk)
    return QFile::decodeName(result.failedFile.c_str()) +
           QStringLiteral(": another program changed it while it was being saved");
  return QFile::decodeName(result.failedFile.c_str()) + QStringLiteral(": ") +
         QString::fromStdString(std::system_category().message(result.error));
}

void Lifecycle::ReportFailedSave(const QString& why) {
  prompter_.Ask(QStringLiteral("Error saving file!"),
                QString::fromUtf8(kAppTitle.data(), static_cast<qsizetype>(kAppTitle.size())),
                Buttons::Ok, std::nullopt, why);
}

QString Lifecycle::WriteFiles() {
  AutoSave->Settle();  // one writer at a time: an automatic save under way ends first
  window_.SetPassButtonsEnabled(false);
  QString why;
  // Another program may write between the look and the rename: its
  // version is merged and the save made again, a few times at most.
  for (int attempt = 0; attempt < 3; ++attempt) {
    SaveWriteResult result;
    try {
      SaveBytes bytes = MakeBytes(DataFileError == 0);
      result = WriteSaveFiles(bytes, folder_);
      OwnSaveEnded(result, bytes);
    } catch (const std::exception&) {
      why = QStringLiteral("There was not enough memory to make the data file.");
      break;
    }
    why = WhyNotSaved(result);
    if (!result.changedOnDisk) break;
    retryLook_->stop();
    const Look look = LookAtDataFile(true);
    if (look == Look::Held || look == Look::Refused) break;
  }
  AutoSave->ExplicitSaveEnded(why.isEmpty());
  window_.SetPassButtonsEnabled(true);
  return why;
}

SaveResult Lifecycle::SaveDataFile() {
  AutoSave->Settle();  // what it wrote is known before the look
  (void)LookAtDataFile(true);
  if (const auto refused = AskBeforeSaving()) return *refused;
  const QString why = WriteFiles();
  if (why.isEmpty()) return SaveResult::Saved;
  ReportFailedSave(why);
  return SaveResult::Failed;
}

SaveResult Lifecycle::Save() {
  saving_ = true;
  const SaveResult result = SaveDataFile();
  saving_ = false;
  if (lookHeld_) retryLook_->start();
  return result;
}

bool Lifecycle::SaveAtClose() {
  AutoSave->Settle();
  (void)LookAtDataFile(true);
  // Cancel keeps the window, so that nothing is lost; No closes without
  // saving.
  if (const auto refused = AskBeforeSaving()) return *refused == SaveResult::Declined;
  for (;;) {
    const QString why = WriteFiles();
    if (why.isEmpty()) return true;
    const QString text = QStringLiteral("Error saving file!");
    const QString title = QString::fromUtf8(kAppTitle.data(), kAppTitle.size());
    if (endRequested_) {  // ending anyway: nothing to choose
      ReportFailedSave(why);
      return true;
    }
    // A lasting cause (a read-only file) would otherwise keep the window
    // open for good; keeping it is still the default.
    switch (prompter_.AskAfterFailedSave(text, title, why)) {
      case Answer::Yes:
        continue;
      case Answer::No:
        return true;
      default:
        return false;
    }
  }
}

void Lifecycle::FinishShutdown() {
  ended_ = true;
  AutoSave->Stop();
  window_.Timer1->stop();
  if (Tray) Tray->Remove();
}

bool Lifecycle::TrayShown() const {
  return Tray && Tray->IsShown();
}

bool Lifecycle::Close() {
  if (!started_ || ended_) return true;
  // A second close while the save's question, or the merge's, is open.
  if (saving_ || looking_) return false;
  sessionAnswer_.reset();  // the user is back: a log-off was called off
  saving_ = true;
  const bool closes = SaveAtClose();
  saving_ = false;
  // At session end the program ends whatever the save did.
  if (!closes && !endRequested_) return false;
  FinishShutdown();
  QCoreApplication::quit();
  return true;
}

void Lifecycle::CommitData() {
  // While another program's version waits for its merge question, the merge
  // saves once it is answered.
  if (!started_ || ended_ || saving_ || looking_) return;
  const SaveResult result = Save();
  // The quit that ends the log-off saves once more: with the same answer.
  if (DataFileError != 0)
    sessionAnswer_ = result == SaveResult::Declined    ? Answer::No
                     : result == SaveResult::Cancelled ? Answer::Cancel
                                                       : Answer::Yes;
  if (endRequested_) {  // a signal came while the save's question was open
    FinishShutdown();
    QCoreApplication::quit();
  }
}

void Lifecycle::EndSession() {
  const bool askedBefore = endRequested_;
  endRequested_ = true;
  if (saving_ || looking_) {
    // The save, or the look at another program's version, under way ends
    // the program when it returns; its question waits for an answer (a save
    // before the merge is settled would find the other version in its way
    // and lose the changes here). Asked to end a second time, stop waiting:
    // every open box returns as if closed, and a merge takes its safest way.
    if (askedBefore && saving_) {
      QCoreApplication::quit();
    } else if (askedBefore) {
      // Closing the window now would save before the merge: the boxes alone close.
      while (QWidget* box = QApplication::activeModalWidget()) {
        box->close();
        if (QApplication::activeModalWidget() == box) break;
      }
    }
    return;
  }
  EndNow();
}

void Lifecycle::EndNow() {
  if (started_ && !ended_) {
    Save();
    FinishShutdown();
  }
  QCoreApplication::quit();
}

}  // namespace zelto
