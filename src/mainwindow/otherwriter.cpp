#include "mainwindow/lifecycle.h"

#include <QApplication>
#include <QFile>
#include <QScrollBar>
#include <QTimer>
#include <QTreeView>
#include <filesystem>
#include <set>
#include <string>

#include "mainwindow/autosave.h"
#include "mainwindow/form1.h"
#include "mainwindow/tasklistmodel.h"
#include "platform/filewatch.h"
#include "platform/messagebox.h"
#include "platform/textcodec.h"
#include "store/merge.h"

// What the window does when another program (a sync program, a text
// editor, the same list on another computer) writes content.txt while it
// runs: take that version in, or merge it with the changes made here.

namespace zelto {

SaveBytes Lifecycle::MakeBytes(bool guarded) {
  SaveBytes bytes = MakeSaveBytes(table_, window_.PositionFileText());
  bytes.shared = MakeSavedMergeBase(table_);
  // A save the user confirmed over an unreadable file replaces whatever is there.
  // Before start-up nothing was loaded to compare with.
  if (guarded && started_) bytes.expected = known_;
  bytes.tag = changes_;
  return bytes;
}

void Lifecycle::OwnSaveEnded(const SaveWriteResult& result, SaveBytes& bytes) {
  if (result.changedOnDisk) {
    // Another program wrote while this save was written: its version stays,
    // is merged, and the merge is saved.
    retryLook_->start();
    return;
  }
  // An older save reported late (an automatic one, settled before a save of
  // the window's own) must not stand for the newer file.
  if (!result.written.present || bytes.tag < savedChanges_) return;
  known_ = result.written;
  base_ = std::move(bytes.shared);
  savedChanges_ = bytes.tag;
  if (lookHeld_) retryLook_->start();
}

void Lifecycle::CheckDataFile() {
  if (!started_ || ended_) return;
  const Look look = LookAtDataFile(false);
  if (look == Look::Held) return;
  NoteConflictCopies();
  if (look == Look::Merged || (look == Look::Same && Dirty() && !AutoSave->Pending()))
    AutoSave->SaveNow();
}

void Lifecycle::EditorClosed() {
  if (lookHeld_) retryLook_->start();
}

Lifecycle::Look Lifecycle::LookAtDataFile(bool beforeSave) {
  if (!started_ || ended_) return Look::Same;
  // The program's own save is compared once its file is known; a table
  // half merged, or the editor's task, must not change under them.
  const bool ownSave = AutoSave->Busy() || (!beforeSave && saving_);
  if (looking_ || ownSave || QApplication::activeModalWidget() != nullptr ||
      (!beforeSave && window_.Editor() != nullptr)) {
    lookHeld_ = true;
    if (!ownSave && window_.Editor() == nullptr) retryLook_->start();
    return Look::Held;
  }
  lookHeld_ = false;
  WatchDataFile();
  DiskCheck disk = CheckFile(folder_ / kContentFile, known_);
  if (!disk.changed) {
    known_ = disk.stamp;  // a touch: the next look need not read it again
    return Look::Same;
  }
  if (disk.read.problem == ReadProblem::Missing) {
    // Deleted, or between a sync program's removal and its new file: the
    // next save writes the table again.
    known_ = disk.stamp;
    return Look::Same;
  }
  looking_ = true;
  const Look look = TakeOther(disk);
  looking_ = false;
  // The session ended while a question of the look was open.
  if (endRequested_ && !saving_) QTimer::singleShot(0, this, &Lifecycle::EndNow);
  return look;
}

Lifecycle::Look Lifecycle::TakeOther(DiskCheck& disk) {
  auto theirs = MakeTaskTable();
  const LoadResult loaded = LoadDataRead(*theirs, disk.read);
  if (!loaded.Read()) {
    known_ = disk.stamp;  // said once: the same version is not reported again
    // base_ still holds the version both last shared: once another program
    // puts a readable file back, the changes made here meanwhile merge with it.
    if (DataFileError == 0) unreadableSinceStart_ = true;
    DataFileError = 1;
    for (const std::string& message : LoadMessages(loaded, folder_))
      prompter_.Ask(message, kAppTitle, Buttons::Ok);
    return Look::Refused;
  }
  // A version emptied, or whose last record is cut short, may still be being
  // written (an editor or a sync program writing in place): it is looked at
  // again in a moment, and taken as it is only once it has stayed the same.
  if ((!loaded.cutShortTasks.empty() || disk.read.bytes.size == 0) &&
      !(disk.stamp.SameMetadata(unsettled_) && disk.stamp.SameContent(unsettled_))) {
    unsettled_ = disk.stamp;
    QTimer::singleShot(kSettleMs, this, &Lifecycle::CheckDataFile);
    return Look::Held;
  }
  if (!Dirty()) {
    Reload(disk, std::move(theirs), loaded);
    return Look::Taken;
  }
  // The table holds changes made after the file could not be read at
  // start-up: with nothing shared to merge against, only the save's
  // question may replace what is there now.
  if (DataFileError != 0 && !unreadableSinceStart_) {
    known_ = disk.stamp;
    return Look::Refused;
  }
  // Until the merge is settled the save expects the version before: a save
  // forced meanwhile (the session ends under the question) cannot replace
  // the other program's version with a table that lacks its work.
  return MergeOther(disk, *theirs);
}

namespace {

QString AppTitle() {
  return QString::fromUtf8(kAppTitle.data(), static_cast<qsizetype>(kAppTitle.size()));
}

QString ConflictQuestion(const MergePlan& plan, const TaskTable& mine, const TaskTable& theirs) {
  const auto count = static_cast<int>(plan.conflicts.size());
  QString text = QStringLiteral(
                     "content.txt was changed by another program while this list had unsaved "
                     "changes. %1 %2 changed differently on both sides:\n")
                     .arg(count)
                     .arg(count == 1 ? QStringLiteral("task was") : QStringLiteral("tasks were"));
  constexpr int kShown = 5;
  for (int i = 0; i < count && i < kShown; ++i) {
    const int id = plan.conflicts[static_cast<std::size_t>(i)].id;
    // The user chooses between the two versions: each one they differ in
    // is shown, a deletion said as such.
    const QString here = ListText(mine.TaskText[id]).left(80);
    const QString there = ListText(theirs.TaskText[id]).left(80);
    if (!mine.InUse(id))
      text += QStringLiteral("\n    %1 (deleted in this list)").arg(there);
    else if (!theirs.InUse(id))
      text += QStringLiteral("\n    %1 (deleted by the other program)").arg(here);
    else if (mine.TaskText[id] != theirs.TaskText[id])
      text += QStringLiteral("\n    %1\n      other program: %2").arg(here, there);
    else
      text += QStringLiteral("\n    ") + here;
  }
  if (count > kShown) text += QStringLiteral("\n    ... and %1 more").arg(count - kShown);
  return text + QStringLiteral(
                    "\n\nKeep Mine keeps this list's version of them, Keep Theirs the other "
                    "program's, Keep Both both (the other program's under a new number).");
}

}  // namespace

// In a full list "Keep Both" finds no number for some of the other
// program's tasks: the save would lose them, so its whole file is kept
// beside content.txt, and where that fails only the save's question writes.
bool Lifecycle::KeepOtherWhole(const DiskCheck& disk, int left) {
  const std::filesystem::path copy = WriteKeptCopy(folder_, disk.read.bytes.View(), clock_.Now());
  prompter_.Ask(
      QStringLiteral("%1 of the other program's tasks found no free number in this full list and "
                     "were left out of it.")
          .arg(left),
      AppTitle(), Buttons::Ok, std::nullopt,
      copy.empty()
          ? QStringLiteral("Its version could not be kept beside content.txt: the list "
                           "is not saved over it without asking.")
          : QStringLiteral("Its whole file is kept as ") + QFile::decodeName(copy.c_str()));
  return !copy.empty();
}

Lifecycle::Look Lifecycle::MergeOther(DiskCheck& disk, const TaskTable& theirs) {
  const MergePlan plan = PlanMerge(base_, table_, theirs);
  const std::optional<Selected> selected = SelectedTask();
  bool keepAsking = false;
  if (plan.renumbered) {
    const DateTime now = clock_.Now();
    const Answer answer = prompter_.Choose(
        QStringLiteral(
            "content.txt was changed by another program while this list had unsaved changes, "
            "and one of the two was renumbered (Re-count): their tasks cannot be matched one by "
            "one.\n\nKeep Mine keeps this list, Keep Theirs the other program's file; the one "
            "not kept is written beside content.txt as \"content (kept %1).txt\".")
            .arg(QString::fromStdString(FormatFileDate(now)).left(10) +
                 QStringLiteral(" %1%2")
                     .arg(now.Hour(), 2, 10, QLatin1Char('0'))
                     .arg(now.Minute(), 2, 10, QLatin1Char('0'))),
        AppTitle(), {QStringLiteral("Keep Mine"), QStringLiteral("Keep Theirs")}, Answer::Yes);
    const bool keepTheirs = answer == Answer::No;
    const std::string mine = keepTheirs ? FormatDataFile(table_) : std::string();
    const std::filesystem::path copy =
        WriteKeptCopy(folder_, keepTheirs ? std::string_view(mine) : disk.read.bytes.View(), now);
    if (copy.empty()) {
      // Neither version may be lost: nothing is replaced without the question.
      DataFileError = 1;
      unreadableSinceStart_ = false;
      known_ = disk.stamp;
      prompter_.Ask(QStringLiteral("The other version could not be kept beside content.txt."),
                    AppTitle(), Buttons::Ok, std::nullopt,
                    QFile::decodeName((folder_ / kContentFile).c_str()));
      return Look::Refused;
    }
    if (keepTheirs) {
      auto table = MakeTaskTable();
      const LoadResult loaded = LoadDataRead(*table, disk.read);
      Reload(disk, std::move(table), loaded);
      return Look::Taken;
    }
  } else {
    MergeChoice choice = MergeChoice::KeepMine;
    if (!plan.conflicts.empty()) {
      const Answer answer = prompter_.Choose(
          ConflictQuestion(plan, table_, theirs), AppTitle(),
          {QStringLiteral("Keep Mine"), QStringLiteral("Keep Theirs"), QStringLiteral("Keep Both")},
          Answer::Cancel);
      choice = answer == Answer::Yes  ? MergeChoice::KeepMine
               : answer == Answer::No ? MergeChoice::KeepTheirs
                                      : MergeChoice::KeepBoth;
    }
    const MergeOutcome outcome = ApplyMerge(table_, base_, theirs, plan, choice);
    if (outcome.notPlaced > 0) keepAsking = !KeepOtherWhole(disk, outcome.notPlaced);
  }
  // content.txt holds the other version: it is the base of a merge to come.
  DataFileError = keepAsking ? 1 : 0;
  unreadableSinceStart_ = false;
  known_ = disk.stamp;
  base_ = MakeMergeBase(theirs);
  savedChanges_ = changes_;
  ++changes_;  // the merged table is still to be saved
  const RefreshResult refreshed = RefreshDueTasks(table_, clock_.Now(), window_.IsMinimized());
  RefreshKeepingSelection(selected);
  AfterRefresh(refreshed);
  return Look::Merged;
}

void Lifecycle::Reload(DiskCheck& disk, std::unique_ptr<TaskTable> theirs,
                       const LoadResult& loaded) {
  const std::optional<Selected> selected = SelectedTask();
  table_ = std::move(*theirs);
  theirs.reset();
  known_ = disk.stamp;
  savedChanges_ = changes_;
  DataFileError = 0;
  unreadableSinceStart_ = false;
  RefreshResult refreshed;
  ShareLoadedVersion(true, std::move(disk.read.bytes), [&] {
    refreshed = RefreshDueTasks(table_, clock_.Now(), window_.IsMinimized());
    RefreshKeepingSelection(selected);
  });
  // Everything is in place before a message box lets other events in.
  for (const std::string& message : LoadMessages(loaded, folder_))
    prompter_.Ask(message, kAppTitle, Buttons::Ok);
  AfterRefresh(refreshed);
}

std::optional<Lifecycle::Selected> Lifecycle::SelectedTask() const {
  const std::optional<int> id = window_.List().SelectedTaskId();
  if (!id) return std::nullopt;
  return Selected{*id, std::string(table_.TaskText[*id])};
}

void Lifecycle::RefreshKeepingSelection(const std::optional<Selected>& before) {
  std::optional<int> selected;
  if (before) selected = before->id;
  // A Re-count on the other side gives the selected task's id to another
  // task: the selection follows the task, found by its text, so that Delete
  // or Edit never acts on a task the user did not choose.
  if (before && table_.TaskText[before->id] != before->text) {
    for (int id = 0; id <= kMaxTaskId; ++id) {
      if (table_.InUse(id) && table_.TaskText[id] == before->text) {
        selected = id;
        break;
      }
    }
  }
  QScrollBar* scroll = window_.ListView1->verticalScrollBar();
  const int scrolled = scroll->value();
  window_.FillTaskList();
  if (selected) {
    const TaskList& list = window_.List();
    for (int row = 0; row < list.RowCount(); ++row) {
      if (list.TaskIdAt(row) != *selected) continue;
      window_.ListView1->selectionModel()->setCurrentIndex(
          list.Model()->index(row, 0),
          QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
      break;
    }
  }
  scroll->setValue(scrolled);
}

void Lifecycle::WatchDataFile() {
  const std::filesystem::path file = folder_ / kContentFile;
  std::vector<std::filesystem::path> paths{file, folder_};
  // Behind a link (into a synced folder, say) the file is replaced, and
  // the sync program's copies appear, in the folder the link leads to.
  std::error_code error;
  const std::filesystem::path target = std::filesystem::weakly_canonical(file, error);
  if (!error && target != file) paths.insert(paths.end(), {target, target.parent_path()});
  DataWatch->Watch(paths);
}

void Lifecycle::NoteConflictCopies() {
  // By their real names, so that one folder reached two ways is read once.
  std::set<std::filesystem::path> folders;
  std::error_code error;
  const auto real = std::filesystem::weakly_canonical(folder_, error);
  folders.insert(error ? folder_ : real);
  const auto target = std::filesystem::weakly_canonical(folder_ / kContentFile, error);
  if (!error) folders.insert(target.parent_path());
  for (const auto& folder : folders) {
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
      const std::filesystem::path& path = entry.path();
      if (!IsConflictCopyName(path.filename().string()) || copiesNoted_.contains(path)) continue;
      copiesNoted_.insert(path);
      prompter_.Ask(
          QStringLiteral("A sync program left a conflict copy of the data file beside it:"),
          AppTitle(), Buttons::Ok, std::nullopt,
          QFile::decodeName(path.c_str()) +
              QStringLiteral("\nIts tasks are not in this list: compare it with content.txt "
                             "and delete it when done."));
    }
  }
}

}  // namespace zelto
