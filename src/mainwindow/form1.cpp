#include "mainwindow/form1.h"

#include <QEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QKeySequence>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include "editor/form2.h"
#include "look/palette.h"
#include "look/pictures.h"
#include "look/twips.h"
#include "mainwindow/tasklistmodel.h"
#include "mainwindow/tasklistview.h"
#include "platform/messagebox.h"
#include "schedule/occurrences.h"
#include "schedule/passes.h"
#include "schedule/taskvalue.h"
#include "store/datafile.h"

namespace zelto {

Form1::Form1(TaskTable& table, const Clock& clock, MessageBoxes& prompter,
             std::filesystem::path folder, QWidget* parent)
    : QWidget(parent),
      table_(table),
      clock_(clock),
      prompter_(prompter),
      folder_(std::move(folder)),
      life_(new Lifecycle(*this, table, clock, prompter, folder_)) {
  setObjectName("Form1");
  setWindowTitle("Zelto Todo List v2.3");
  const QIcon appIcon = AppIcon();
  setWindowIcon(appIcon);
  setAutoFillBackground(true);
  resize(DesignPixels(kDesignWidthTwips), DesignPixels(kDesignHeightTwips));
  imageList1_ = {QIcon(), Picture("asc"), Picture("desc"), Picture("none"), appIcon};
  trayImage_ = appIcon;

  UseDesignFont(this);
  BuildControls();
  ApplyColours(palette());
  list_ = std::make_unique<TaskList>(ListView1, imageList1_[1], imageList1_[2], imageList1_[3]);
  ConnectControls();
  // Only the frame needs the style sheet. Under a window-wide one every
  // cell the list paints would ask the sheet's rules first.
  UseDesignLook(Frame1);
  ListView1->setFocus();
}

void Form1::BuildControls() {
  // Created first so that it lies lowest: the frame covers it entirely.
  Command2 = new QPushButton("dummy", this);
  Command2->setObjectName("Command2");
  Command2->setGeometry(TwipsRect(480, 240, 255, 255));
  // It only holds the focus after a command; a screen reader should say
  // where the focus went, not read out a button called "dummy".
  Command2->setAccessibleName("Zelto Todo List");
  Command2->setAccessibleDescription(
      "Focus rests here after a command; Tab or Shift+Tab moves to the buttons");

  ListView1 = new TaskListView(this);
  ListView1->setObjectName("ListView1");
  ListView1->setGeometry(TwipsRect(0, 720, 5775, 6375));
  ListView1->setAccessibleName("Tasks");

  BuildViewSwitch();

  Command5 = MakePictureButton("Command5", "New task", "new", 2040,
                               {QKeySequence(Qt::CTRL | Qt::Key_N), QKeySequence(Qt::Key_Insert)});
  Command4 = MakePictureButton("Command4", "Edit task", "edit", 2520,
                               {QKeySequence(Qt::Key_Enter), QKeySequence(Qt::Key_F2)});
  Command6 =
      MakePictureButton("Command6", "Delete task", "delete", 3000, {QKeySequence(Qt::Key_Delete)});
  Command3 = MakePictureButton("Command3", "Re-count", "recount", 3600);
  Command7 = MakePictureButton("Command7", "Recalculate All", "recalc", 4080);
  Command1 = MakePictureButton("Command1", "Refresh list & Save", "save", 4560,
                               {QKeySequence(Qt::CTRL | Qt::Key_S), QKeySequence(Qt::Key_F5)});
  Command8 = MakePictureButton("Command8", "About", "about", 5160);

  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(1000);
  Timer2 = new QTimer(this);
  Timer2->setObjectName("Timer2");
  Timer2->setInterval(200);

  QWidget* const tabOrder[] = {ListView1, Command4, Command5, Command6, Option1, Option2,
                               Command1,  Command2, Command3, Command7, Command8};
  for (size_t i = 1; i < std::size(tabOrder); ++i) setTabOrder(tabOrder[i - 1], tabOrder[i]);
}

void Form1::BuildViewSwitch() {
  Frame1 = new QGroupBox("Tasks", this);
  Frame1->setObjectName("Frame1");
  Frame1->setGeometry(TwipsRect(120, 0, 1815, 615));
  Frame1->setAutoFillBackground(true);
  Option1 = new QRadioButton("ToDo", Frame1);
  Option1->setObjectName("Option1");
  Option1->setGeometry(TwipsRect(120, 200, 735, 330));
  Option2 = new QRadioButton("Done", Frame1);
  Option2->setObjectName("Option2");
  Option2->setGeometry(TwipsRect(960, 200, 735, 330));
  for (QRadioButton* option : {Option1, Option2}) {
    option->setBackgroundRole(QPalette::Window);
    option->setAutoFillBackground(true);
  }
  Option1->setChecked(true);
}

void Form1::ApplyColours(const QPalette& desktop) {
  const WindowColours colours = MainWindowColours(desktop);
  // The list's border and check boxes are shaded from the window colour:
  // they keep the desktop's, not the white of the window around them.
  // Taken first, as `desktop` may be this window's own palette.
  QPalette list = ListView1->palette();
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
    list.setBrush(group, QPalette::Window, desktop.brush(group, QPalette::Window));
  setPalette(colours.window);
  ListView1->setPalette(list);
  Frame1->setPalette(colours.window);
  Option1->setPalette(colours.options);
  Option2->setPalette(colours.options);
}

void Form1::ConnectControls() {
  connect(ListView1->header(), &QHeaderView::sectionClicked, this,
          [this](int logical) { ColumnClick(logical + 1); });
  connect(list_->Model(), &TaskListModel::ItemCheck, this, &Form1::ItemCheck);
  ListView1->installEventFilter(this);
  ListView1->viewport()->installEventFilter(this);

  connect(Option1, &QRadioButton::clicked, this, [this] { Option1_Click(); });
  connect(Option2, &QRadioButton::clicked, this, [this] { Option2_Click(); });
  connect(Command1, &QToolButton::clicked, this, [this] { Command1_Click(); });
  connect(Command3, &QToolButton::clicked, this, [this] { Command3_Click(); });
  connect(Command4, &QToolButton::clicked, this, [this] { Command4_Click(); });
  connect(Command5, &QToolButton::clicked, this, [this] { Command5_Click(); });
  connect(Command6, &QToolButton::clicked, this, [this] { Command6_Click(); });
  connect(Command7, &QToolButton::clicked, this, [this] { Command7_Click(); });
  connect(Command8, &QToolButton::clicked, this, [this] { Command8_Click(); });

  // Window-wide keys press the button itself, so a switched-off button
  // stays off. Edit and Delete keys belong to the list (see eventFilter).
  const auto press = [this](QKeySequence keys, QToolButton* button) {
    connect(new QShortcut(keys, this), &QShortcut::activated, button, [button] {
      if (button->isEnabled()) button->click();
    });
  };
  press(QKeySequence(Qt::CTRL | Qt::Key_N), Command5);
  press(QKeySequence(Qt::Key_Insert), Command5);
  press(QKeySequence(Qt::CTRL | Qt::Key_S), Command1);
  press(QKeySequence(Qt::Key_F5), Command1);
  connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this), &QShortcut::activated, this,
          &QWidget::close);
}

Form2* Form1::Editor() const {
  // A closed editor lingers until the event loop deletes it.
  return editor_ && editor_->isVisible() ? editor_.data() : nullptr;
}

Form1::~Form1() {
  if (editor_) delete editor_.data();
}

QToolButton* Form1::MakePictureButton(const char* name, const QString& tip, const QString& picture,
                                      int left, std::initializer_list<QKeySequence> keys) {
  auto* button = new QToolButton(this);
  button->setObjectName(name);
  button->setGeometry(TwipsRect(left, 100, 460, 480));
  button->setIcon(Picture(picture));
  button->setIconSize(QSize(25, 28));
  QStringList keyNames;
  for (const QKeySequence& key : keys) keyNames << key.toString(QKeySequence::NativeText);
  button->setToolTip(keyNames.isEmpty() ? tip : tip + " (" + keyNames.join(", ") + ")");
  button->setAccessibleName(tip);
  button->setAutoRaise(true);
  button->setFocusPolicy(Qt::TabFocus);
  button->installEventFilter(this);  // Enter clicks it, as it does a push button
  return button;
}

QIcon Form1::ImageList1(int index) const {
  if (index < 1 || index > 4) return {};
  return imageList1_[static_cast<size_t>(index)];
}

// Every rule that depends on the view asks the two option buttons.
TaskList::View Form1::CurrentView() const {
  if (Option1->isChecked()) return TaskList::View::ToDo;
  if (Option2->isChecked()) return TaskList::View::Done;
  return TaskList::View::Neither;
}

void Form1::FillTaskList() {
  list_->Fill(table_, CurrentView());
}

void Form1::ColumnClick(int column) {
  list_->ColumnClick(column, CurrentView());
}

void Form1::Option1_Click() {
  Command2->setFocus();
  list_->SwitchTo(TaskList::View::ToDo, table_);
}

void Form1::Option2_Click() {
  Command2->setFocus();
  list_->SwitchTo(TaskList::View::Done, table_);
}

void Form1::ItemCheck(int row, bool checked) {
  if (row < 0 || row >= list_->RowCount()) return;
  ListView1->selectionModel()->setCurrentIndex(
      list_->Model()->index(row, 0),
      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  const int id = list_->TaskIdAt(row);
  if (table_.TaskText.Valid(id)) {
    const DateTime now = clock_.Now();
    table_.TaskChecked[id] = checked ? -1 : 0;
    table_.CheckedDate[id] = checked ? now : DateTime();
    FindOccurrences(table_, id, now);
    life_->TableChanged();
  }
  FillTaskList();
}

std::optional<int> Form1::SelectedTaskId() const {
  const auto id = list_->SelectedTaskId();
  if (!id || !table_.TaskText.Valid(*id)) return std::nullopt;
  return id;
}

RefreshResult Form1::RefreshAndFill() {
  SetPassButtonsEnabled(false);
  RefreshResult result = RefreshDueTasks(table_, clock_.Now(), IsMinimized());
  SetPassButtonsEnabled(true);
  FillTaskList();
  return result;
}

void Form1::RecalculateAndFill() {
  SetPassButtonsEnabled(false);
  RecalculateAll(table_, clock_.Now());
  SetPassButtonsEnabled(true);
  life_->TableChanged();
  FillTaskList();
}

void Form1::Command1_Click() {
  Command2->setFocus();
  RefreshAndFill();
  life_->SaveDataFile();
}

void Form1::Command3_Click() {
  Command2->setFocus();
  RecountTasks(table_);
  life_->TableChanged();
  FillTaskList();
}

void Form1::Command4_Click() {
  Command2->setFocus();
  EditSelectedTask();
}

void Form1::ListView1_DblClick() {
  Command2->setFocus();
  EditSelectedTask();
}

void Form1::EditSelectedTask() {
  if (list_->RowCount() == 0) return;
  const auto id = SelectedTaskId();
  if (!id) return;
  EditMode = "edit";
  EditTaskId = static_cast<int16_t>(*id);
  OpenEditor();
}

void Form1::Command5_Click() {
  Command2->setFocus();
  EditMode = "new";
  Option1->setChecked(true);
  Option1_Click();
  OpenEditor();
}

void Form1::OpenEditor() {
  if (Editor()) return;  // one at a time; the window is disabled meanwhile anyway
  const bool isNew = EditMode == "new";
  if (isNew) {
    EditTaskId = NewTaskId(table_);
    if (table_.TaskCount > kMaxTaskId) {
      prompter_.Ask(QStringLiteral("Maximum of 10000 entries reached. Try Re-count."),
                    QString::fromUtf8(kAppTitle.data(), kAppTitle.size()), Buttons::Ok);
    }
  }
  const int id = EditTaskId;
  editor_ = new Form2(this, clock_);
  connect(editor_, &Form2::Saved, this, [this, id] {
    StoreTaskValue(table_, id, editor_->Result(ReadTaskValue(table_, id)), clock_.Now());
    life_->TableChanged();
    FillTaskList();
    EditMode.clear();
    life_->EditorClosed();
  });
  connect(editor_, &Form2::Cancelled, this, [this] {
    EditMode.clear();
    life_->EditorClosed();
  });
  editor_->Open(isNew ? Form2::Mode::New : Form2::Mode::Edit, ReadTaskValue(table_, id));
}

void Form1::Command6_Click() {
  Command2->setFocus();
  DeleteSelectedTask();
}

void Form1::ListView1_KeyUp(int key) {
  if (key == Qt::Key_Delete) DeleteSelectedTask();
}

void Form1::DeleteSelectedTask() {
  const auto id = SelectedTaskId();
  if (!id) return;
  const QString question = "Delete task " + DisplayText(table_.TaskText[*id]) + "?";
  if (prompter_.Ask(question, "Delete task", Buttons::YesNo, Answer::Yes) != Answer::Yes) return;
  if (list_->RowCount() == 0) return;
  table_.TaskText.Set(*id, {});
  life_->TableChanged();
  FillTaskList();
}

void Form1::Command7_Click() {
  Command2->setFocus();
  RecalculateAndFill();
}

void Form1::Command8_Click() {
  Command2->setFocus();
  prompter_.Ask(QStringLiteral("Zelto Todo List version 2.2\r\n"
                               "For any suggestions e-mail me at: zelto.todo@example.org"),
                QString::fromUtf8(kAppTitle.data(), kAppTitle.size()), Buttons::Ok);
}

// The list's own keys: Enter and F2 edit the selected task, and Space
// ticks the current row whichever cell is current (the view alone would
// only tick from the check box's cell).
bool Form1::ListView1_KeyDown(const QKeyEvent& key) {
  if (key.modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier)) return false;
  switch (key.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_F2:
      EditSelectedTask();
      return true;
    case Qt::Key_Space: {
      const QModelIndex current = ListView1->currentIndex();
      if (!key.isAutoRepeat() && current.isValid()) {
        // The same way as a click on the check box.
        const int row = current.row();
        list_->Model()->setData(list_->Model()->index(row, 0),
                                list_->RowChecked(row) ? Qt::Unchecked : Qt::Checked,
                                Qt::CheckStateRole);
      }
      return true;
    }
    default:
      return false;
  }
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    // Space clicks a focused picture button by itself; Return and the
    // keypad's Enter do the same here.
    auto* button = qobject_cast<QToolButton*>(watched);
    auto* key = static_cast<QKeyEvent*>(event);
    if (button != nullptr && button->parentWidget() == this &&
        (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
        (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
      if (!key->isAutoRepeat()) button->click();
      return true;
    }
  }
  if (watched == ListView1 && event->type() == QEvent::KeyPress) {
    if (ListView1_KeyDown(*static_cast<QKeyEvent*>(event))) return true;
  } else if (watched == ListView1 && event->type() == QEvent::KeyRelease) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (!key->isAutoRepeat()) ListView1_KeyUp(key->key());
  } else if (watched == ListView1->viewport() && event->type() == QEvent::MouseButtonDblClick) {
    ListView1_DblClick();
  }
  return QWidget::eventFilter(watched, event);
}

void Form1::SetPassButtonsEnabled(bool enabled) {
  Command1->setEnabled(enabled);
  Command3->setEnabled(enabled);
  Command7->setEnabled(enabled);
}

}  // namespace zelto
