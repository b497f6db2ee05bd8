// Form1's start-up, placement tracking, notification-area icon, hour watch
// and shutdown.
#include <QCloseEvent>
#include <QCoreApplication>
#include <QHeaderView>
#include <QRadioButton>
#include <QTimer>
#include <QTreeView>
#include <cmath>
#include <exception>
#include <string_view>
#include <vector>

#include "mainwindow/form1.h"
#include "mainwindow/positionfile.h"
#include "platform/messagebox.h"
#include "platform/notifier.h"
#include "platform/textcodec.h"
#include "platform/tray.h"

namespace zelto {

using namespace std::string_view_literals;

void Form1::StartUp() {
  // From here on every move and resize is recorded, start-up's own included.
  started_ = true;
  HourWatch1.Reset();
  connect(Notifications, &Notifier::Activated, this, &Form1::ShowTodoInFront);

  QHeaderView* header = ListView1->header();
  for (int i = 0; i < 3; ++i) header->resizeSection(i, DesignPixels(kColumnTwips[i]));

  const auto stepDone = [this](const char* step) {
    if (StartUpStepDone) StartUpStepDone(step);
  };
  ApplyPositionFile();
  stepDone("position");
  const LoadResult loaded = LoadDataFile(table_, folder_);
  for (const std::string& message : LoadMessages(loaded, folder_))
    prompter_.Ask(message, kAppTitle, Buttons::Ok);
  DataFileError = loaded.Read() ? 0 : 1;
  stepDone("load");
  Timer1_Timer();
  stepDone("tick");
  connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer, Qt::UniqueConnection);
}

void Form1::ApplyPositionFile() {
  const auto bytes = ReadPositionFile(folder_);
  if (!bytes) return;
  const QSizeF screen = PrimaryScreenTwips(kTwipsPerPixel);
  const PositionItems items = ParsePositionText(*bytes, screen.width(), screen.height());

  // The window system takes no window or column beyond 32767 pixels: a
  // larger value from a damaged file is refused and the item skipped.
  const auto fits = [](double twips) { return std::abs(twips / kTwipsPerPixel) <= 32767.0; };
  if (items.Move && fits(items.Move->Left) && fits(items.Move->Top) && fits(items.Move->Width) &&
      fits(items.Move->Height)) {
    const auto px = [](double twips) { return TwipsToPixels(twips, kTwipsPerPixel); };
    const QRect outer(px(items.Move->Left), px(items.Move->Top), px(items.Move->Width),
                      px(items.Move->Height));
    // The frame is not known before the window is shown: the rectangle is
    // put right once it is (CorrectStartSize).
    setGeometry(outer);
    startOuterRect_ = outer;
    RecordPlacement();
  }
  if (items.WindowState) startState_ = *items.WindowState;

  QHeaderView* header = ListView1->header();
  for (int i = 0; i < 3; ++i) {
    if (!items.ColumnWidths[i] || !fits(*items.ColumnWidths[i])) continue;
    columnTwips_[i] = *items.ColumnWidths[i];
    header->resizeSection(i, TwipsToPixels(columnTwips_[i], kTwipsPerPixel));
  }

  QString* const sortValues[] = {&TodoSortColumn, &TodoSortOrder, &DoneSortColumn, &DoneSortOrder};
  for (int i = 0; i < 4; ++i)
    if (!items.SortValues[i].isNull()) *sortValues[i] = items.SortValues[i];
  if (items.SortKey || items.SortOrder)
    SetListSort(items.SortKey.value_or(ListSortKey()), items.SortOrder.value_or(ListSortOrder()));
  for (int column = 1; column <= 3; ++column) SetHeaderImage(column, 3);
  if (items.SortIcon) SetHeaderImage(items.SortIcon->Column + 1, items.SortIcon->Image);
}

void Form1::ShowAtStartUp() {
  if (startState_ == 1) {
    if (TrayIcon::Available()) {
      setWindowState(Qt::WindowMinimized);
      MinimizeToTray();
    } else {
      showMinimized();
    }
  } else if (startState_ == 2) {
    showMaximized();
  } else {
    show();
  }
  QTimer::singleShot(0, this, &Form1::CorrectStartSize);
  Timer1->start();
}

void Form1::Timer1_Timer() {
  if (!started_ || !HourWatch1.Tick(clock_.Now())) return;
  std::vector<int> done;
  for (int id = 0; id < kSlotCount; ++id)
    if (table_.InUse(id) && table_.TaskChecked[id] == -1) done.push_back(id);
  RestoreRequest = RefreshAndFill() ? 1 : 0;
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

void Form1::ShowTodoInFront() {
  BringBack();
  Option1->setChecked(true);
  Option1_Click();
}

// Placement -----------------------------------------------------------------

void Form1::RecordPlacement() {
  if (!started_ || (windowState() & Qt::WindowMinimized)) return;
  WindowPlacement.Record(frameGeometry(), kTwipsPerPixel);
}

void Form1::FitListToWindow() {
  // The list fills the window below the button row: on the frame the
  // design was made for (120 twips wide, 420 high) that is the outer
  // width less 120 and the outer height less 1140. Frames differ here, so
  // it is fitted to the inside of the window, which comes to the same. A
  // window too small for it leaves the list as it was in that direction.
  const QRect list = ListView1->geometry();
  const int width = this->width();
  const int height = this->height() - list.top();
  ListView1->resize(width >= 0 ? width : list.width(), height >= 0 ? height : list.height());
}

void Form1::CorrectStartSize() {
  // position.txt gives the outer rectangle, but before the window is shown
  // its frame is unknown and the rectangle went to the inside of the
  // window. Once the frame is there, put the frame on that rectangle.
  if (!startOuterRect_ || !isVisible()) return;
  const QRect frame = frameGeometry();
  const QRect inner = geometry();
  if (frame == inner) return;  // no frame yet, or none at all
  const QRect wanted = *startOuterRect_;
  startOuterRect_.reset();
  if (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized)) return;
  setGeometry(wanted.adjusted(inner.left() - frame.left(), inner.top() - frame.top(),
                              inner.right() - frame.right(), inner.bottom() - frame.bottom()));
}

void Form1::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  CorrectStartSize();
  RecordPlacement();
}

void Form1::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (!started_) return;
  FitListToWindow();
  if (windowState() & Qt::WindowMinimized) return;
  WindowPlacement.RestoreWindowState = WindowStateNumber(windowState());
  CorrectStartSize();
  RecordPlacement();
}

void Form1::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (!started_ || event->type() != QEvent::WindowStateChange) return;
  if (windowState() & Qt::WindowMinimized) {
    // After the state change has been handled, not inside it.
    QTimer::singleShot(0, this, [this] {
      if (windowState() & Qt::WindowMinimized) MinimizeToTray();
    });
    return;
  }
  WindowPlacement.RestoreWindowState = WindowStateNumber(windowState());
  RecordPlacement();
}

// The notification-area icon ------------------------------------------------

void Form1::MinimizeToTray() {
  // Without a notification area a hidden window could not be reached again:
  // it stays minimised on the taskbar instead.
  if (!TrayIcon::Available()) return;
  if (!Tray) {
    Tray = new TrayIcon(ImageList2(), this);
    connect(Tray, &TrayIcon::Released, this, &Form1::BringBack);
  }
  hide();
  Tray->Show();
}

void Form1::BringBack() {
  startState_ = 0;  // brought back before the first showing: it opens shown
  if (WindowPlacement.RestoreWindowState == 1) WindowPlacement.RestoreWindowState = 0;
  const Qt::WindowStates state =
      WindowPlacement.RestoreWindowState == 2 ? Qt::WindowMaximized : Qt::WindowNoState;
  setWindowState((windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized)) | state);
  show();
  raise();
  activateWindow();
  if (Tray) Tray->Remove();
  QTimer::singleShot(0, this, &Form1::CorrectStartSize);  // first showing after a start in the tray
}

bool Form1::IsMinimized() const {
  // Until it is first shown, a window that position.txt starts minimised
  // counts as minimised already: a done task that falls due at start-up
  // brings it back.
  return (windowState() & Qt::WindowMinimized) != 0 || (Tray && Tray->IsShown()) ||
         (startState_ == 1 && !isVisible());
}

// The position file -----------------------------------------------------------

std::string Form1::PositionFileText() const {
  PositionRecord record;
  record.WindowLeft = WindowPlacement.WindowLeft;
  record.WindowTop = WindowPlacement.WindowTop;
  record.WindowWidth = WindowPlacement.WindowWidth;
  record.WindowHeight = WindowPlacement.WindowHeight;
  record.WindowState = IsMinimized() ? 1 : WindowStateNumber(windowState());
  const QHeaderView* header = ListView1->header();
  for (int i = 0; i < 3; ++i) {
    const int pixels = header->sectionSize(i);
    // A width read from the file stays exact while the column keeps it.
    record.ColumnWidths[i] = TwipsToPixels(columnTwips_[i], kTwipsPerPixel) == pixels
                                 ? columnTwips_[i]
                                 : static_cast<float>(pixels * kTwipsPerPixel);
  }
  record.TodoSortColumn = TodoSortColumn;
  record.TodoSortOrder = TodoSortOrder;
  record.DoneSortColumn = DoneSortColumn;
  record.DoneSortOrder = DoneSortOrder;
  return FormatPositionText(record);
}

// Shutdown ------------------------------------------------------------------

// Asks first while DataFileError is set; writes with the pass buttons off
// and reports a failure before it switches them on again.
SaveResult Form1::SaveDataFile() {
  if (DataFileError != 0) {
    const Answer answer = prompter_.Ask(
        "There was an error opening the data file... Do you really want to save this data?"sv,
        "Zelto Todo List save data"sv, Buttons::YesNoCancel);
    if (answer == Answer::No) return SaveResult::Declined;
    if (answer != Answer::Yes) return SaveResult::Cancelled;
  }
  SetPassButtonsEnabled(false);
  bool saved = false;
  try {
    saved = WriteSaveFiles(MakeSaveBytes(table_, PositionFileText()), folder_).Saved();
  } catch (const std::exception&) {
    saved = false;  // out of memory while formatting: nothing replaced
  }
  if (!saved) prompter_.Ask("Error saving file!"sv, kAppTitle, Buttons::Ok);
  SetPassButtonsEnabled(true);
  return saved ? SaveResult::Saved : SaveResult::Failed;
}

SaveResult Form1::Save() {
  saving_ = true;
  const SaveResult result = SaveDataFile();
  saving_ = false;
  return result;
}

void Form1::FinishShutdown() {
  ended_ = true;
  Timer1->stop();
  if (Tray) Tray->Remove();
}

void Form1::closeEvent(QCloseEvent* event) {
  if (!started_ || ended_) {
    QWidget::closeEvent(event);
    return;
  }
  if (saving_) {  // a second close while the save's question is open
    event->ignore();
    return;
  }
  const SaveResult result = Save();
  // At the user's own close a failed or cancelled save keeps the window, so
  // that nothing is lost; No closes without saving. At session end the
  // program ends whatever the save did.
  if (!endRequested_ && (result == SaveResult::Failed || result == SaveResult::Cancelled)) {
    event->ignore();
    return;
  }
  FinishShutdown();
  event->accept();
  QCoreApplication::quit();
}

void Form1::CommitData() {
  if (!started_ || ended_ || saving_) return;
  Save();
  if (endRequested_) {  // a signal came while the save's question was open
    FinishShutdown();
    QCoreApplication::quit();
  }
}

void Form1::EndSession() {
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
