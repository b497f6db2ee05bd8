#include "mainwindow/lifecycle.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QRadioButton>
#include <QTimer>
#include <QTreeView>
#include <exception>
#include <string_view>
#include <vector>

#include "look/twips.h"
#include "mainwindow/form1.h"
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
}

void Lifecycle::StartUp() {
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
  const LoadResult loaded = LoadDataFile(table_, folder_);
  for (const std::string& message : LoadMessages(loaded, folder_))
    prompter_.Ask(message, kAppTitle, Buttons::Ok);
  DataFileError = loaded.Read() ? 0 : 1;
  stepDone("load");
  Timer1_Timer();
  stepDone("tick");
  connect(window_.Timer1, &QTimer::timeout, this, &Lifecycle::Timer1_Timer, Qt::UniqueConnection);
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
  if (!started_ || !HourWatch1.Tick(clock_.Now())) return;
  std::vector<int> done;
  for (int id = 0; id < kSlotCount; ++id)
    if (table_.InUse(id) && table_.TaskChecked[id] == -1) done.push_back(id);
  RestoreRequest = window_.RefreshAndFill() ? 1 : 0;
  // Done tasks that the refresh unticked fell due again: the desktop is
  // told of them, whether the window is hidden, behind others or not.
  QStringList dueAgain;
  for (const int id : done)
    if (table_.TaskChecked[id] == 0) dueAgain << DecodeText(table_.TaskText[id]);
  Notifications->TasksDueAgain(dueAgain);
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
  // it stays minimised on the taskbar instead.
  if (!TrayIcon::Available()) return;
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

SaveResult Lifecycle::SaveDataFile() {
  using namespace std::string_view_literals;
  if (DataFileError != 0) {
    const Answer answer = prompter_.Ask(
        "There was an error opening the data file... Do you really want to save this data?"sv,
        "Zelto Todo List save data"sv, Buttons::YesNoCancel);
    if (answer == Answer::No) return SaveResult::Declined;
    if (answer != Answer::Yes) return SaveResult::Cancelled;
  }
  window_.SetPassButtonsEnabled(false);
  bool saved = false;
  try {
    saved = WriteSaveFiles(MakeSaveBytes(table_, window_.PositionFileText()), folder_).Saved();
  } catch (const std::exception&) {
    saved = false;  // out of memory while formatting: nothing replaced
  }
  if (!saved) prompter_.Ask("Error saving file!"sv, kAppTitle, Buttons::Ok);
  window_.SetPassButtonsEnabled(true);
  return saved ? SaveResult::Saved : SaveResult::Failed;
}

SaveResult Lifecycle::Save() {
  saving_ = true;
  const SaveResult result = SaveDataFile();
  saving_ = false;
  return result;
}

void Lifecycle::FinishShutdown() {
  ended_ = true;
  window_.Timer1->stop();
  if (Tray) Tray->Remove();
}

bool Lifecycle::TrayShown() const {
  return Tray && Tray->IsShown();
}

bool Lifecycle::Close() {
  if (!started_ || ended_) return true;
  if (saving_) return false;  // a second close while the save's question is open
  const SaveResult result = Save();
  // At the user's own close a failed or cancelled save keeps the window, so
  // that nothing is lost; No closes without saving. At session end the
  // program ends whatever the save did.
  if (!endRequested_ && (result == SaveResult::Failed || result == SaveResult::Cancelled))
    return false;
  FinishShutdown();
  QCoreApplication::quit();
  return true;
}

void Lifecycle::CommitData() {
  if (!started_ || ended_ || saving_) return;
  Save();
  if (endRequested_) {  // a signal came while the save's question was open
    FinishShutdown();
    QCoreApplication::quit();
  }
}

void Lifecycle::EndSession() {
  const bool askedBefore = endRequested_;
  endRequested_ = true;
  if (saving_) {
    // The save under way ends the program when it returns; its question
    // waits for an answer. Asked to end a second time, stop waiting: every
    // open box returns as if closed, and nothing more is written.
    if (askedBefore) QCoreApplication::quit();
    return;
  }
  if (started_ && !ended_) {
    Save();
    FinishShutdown();
  }
  QCoreApplication::quit();
}

}  // namespace zelto
