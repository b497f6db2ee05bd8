// Form1's placement tracking and its position file.
#include <QCloseEvent>
#include <QCoreApplication>
#include <QHeaderView>
#include <QRadioButton>
#include <QTimer>
#include <QTreeView>

#include "editor/form2.h"
#include "look/twips.h"
#include "mainwindow/form1.h"
#include "mainwindow/lifecycle.h"
#include "mainwindow/positionfile.h"
#include "platform/messagebox.h"
#include "platform/tray.h"

namespace zelto {

void Form1::ApplyPositionFile() {
  const auto bytes = ReadPositionFile(folder_);
  if (!bytes) return;
  const QSizeF screen = PrimaryScreenTwips(kDesignTwipsPerPixel);
  const PositionItems items = ParsePositionText(*bytes, screen.width(), screen.height());
  // Never smaller than the design, though, should the screen be smaller.
  const QSize design(DesignPixels(kDesignWidthTwips), DesignPixels(kDesignHeightTwips));
  placement_.Apply(items, *this, *ListView1->header(), AvailableScreenSize().expandedTo(design));

  QString* const sortValues[] = {&list_->TodoSortColumn, &list_->TodoSortOrder,
                                 &list_->DoneSortColumn, &list_->DoneSortOrder};
  for (int i = 0; i < 4; ++i)
    if (!items.SortValues[i].isNull()) *sortValues[i] = items.SortValues[i];
  if (items.SortKey || items.SortOrder)
    list_->SetSort(items.SortKey.value_or(list_->SortKey()),
                   items.SortOrder.value_or(list_->SortOrder()));
  for (int column = 1; column <= 3; ++column) list_->SetHeaderImage(column, 3);
  if (items.SortIcon) list_->SetHeaderImage(items.SortIcon->Column + 1, items.SortIcon->Image);
}

// Placement -----------------------------------------------------------------

void Form1::RecordPlacement() {
  if (life_->Started()) placement_.Record(*this);
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
  placement_.CorrectStartSize(*this);
}

void Form1::closeEvent(QCloseEvent* event) {
  // The window manager's close button works on the disabled window too.
  // Closing now would drop the edit in progress without a word: the editor
  // comes to the front instead, and both stay. A signal or the session's
  // end still closes.
  if (Form2* editor = Editor(); editor && !life_->Ending()) {
    event->ignore();
    editor->setWindowState(editor->windowState() & ~Qt::WindowMinimized);
    editor->show();
    editor->raise();
    editor->activateWindow();
    return;
  }
  if (life_->Close())
    QWidget::closeEvent(event);
  else
    event->ignore();
}

void Form1::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  CorrectStartSize();
  RecordPlacement();
}

void Form1::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (!life_->Started()) return;
  FitListToWindow();
  if (windowState() & Qt::WindowMinimized) return;
  placement_.Values.RestoreWindowState = WindowStateNumber(windowState());
  CorrectStartSize();
  RecordPlacement();
}

void Form1::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (!life_->Started() || event->type() != QEvent::WindowStateChange) return;
  if (windowState() & Qt::WindowMinimized) {
    // After the state change has been handled, not inside it.
    QTimer::singleShot(0, this, [this] {
      if (windowState() & Qt::WindowMinimized) life_->MinimizeToTray();
    });
    return;
  }
  placement_.Values.RestoreWindowState = WindowStateNumber(windowState());
  RecordPlacement();
}

bool Form1::IsMinimized() const {
  // Until it is first shown, a window that position.txt starts minimised
  // counts as minimised already: a done task that falls due at start-up
  // brings it back.
  return (windowState() & Qt::WindowMinimized) != 0 || life_->TrayShown() ||
         (placement_.StartState == 1 && !isVisible());
}

// The position file -----------------------------------------------------------

std::string Form1::PositionFileText() const {
  PositionRecord record;
  placement_.Fill(record, *ListView1->header());
  record.WindowState = IsMinimized() ? 1 : WindowStateNumber(windowState());
  record.TodoSortColumn = list_->TodoSortColumn;
  record.TodoSortOrder = list_->TodoSortOrder;
  record.DoneSortColumn = list_->DoneSortColumn;
  record.DoneSortOrder = list_->DoneSortOrder;
  return FormatPositionText(record);
}

}  // namespace zelto
