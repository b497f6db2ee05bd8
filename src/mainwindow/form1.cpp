#include "mainwindow/form1.h"

#include <QEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <cmath>

#include "editor/form2.h"
#include "mainwindow/pictures.h"
#include "mainwindow/tasklistmodel.h"
#include "platform/messagebox.h"
#include "platform/notifier.h"
#include "platform/textcodec.h"
#include "schedule/occurrences.h"
#include "schedule/passes.h"
#include "store/convert.h"
#include "store/datafile.h"

namespace zelto {
namespace {

const QString kPreviousHeader = QStringLiteral("Previous occurence");
const QString kNextHeader = QStringLiteral("Next occurence");

// A stored sort value as a number: the position file keeps them as text and
// an unset one counts as 0.
int SortNumber(const QString& text) {
  return ParseInt16(text.toStdString()).value_or(0);
}

// Task text is nearly always ASCII; skip the decoder for it.
QString DisplayText(const std::string& bytes) {
  for (const char c : bytes)
    if (static_cast<unsigned char>(c) >= 0x80) return DecodeText(bytes);
  return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

void AppendDigits(QChar*& out, int value, int width) {
  for (int i = width - 1; i >= 0; --i) {
    out[i] = QChar(u'0' + value % 10);
    value /= 10;
  }
  out += width;
}

// "yyyy-mm-dd ddd hh:nn", built by hand: the locale's formatter costs more
// than the rest of a rebuild of ten thousand rows.
QString FormatListDate(DateTime value, const std::array<QString, 7>& weekdayNames) {
  int year = 0, month = 0, day = 0;
  value.YearMonthDay(year, month, day);
  const QString& name = weekdayNames[static_cast<size_t>(value.Weekday() - 1)];
  QString text(17 + name.size(), Qt::Uninitialized);
  QChar* out = text.data();
  AppendDigits(out, year, 4);
  *out++ = u'-';
  AppendDigits(out, month, 2);
  *out++ = u'-';
  AppendDigits(out, day, 2);
  *out++ = u' ';
  for (const QChar c : name) *out++ = c;
  *out++ = u' ';
  AppendDigits(out, value.Hour(), 2);
  *out++ = u':';
  AppendDigits(out, value.Minute(), 2);
  return text;
}

QString OccurrenceText(const Occurrence& value, const std::array<QString, 7>& weekdayNames) {
  if (const auto* date = std::get_if<DateTime>(&value)) return FormatListDate(*date, weekdayNames);
  if (const auto* text = std::get_if<std::string>(&value)) return DisplayText(*text);
  return {};
}

}  // namespace

Form1::Form1(TaskTable& table, const Clock& clock, MessageBoxes& prompter,
             std::filesystem::path folder, QWidget* parent)
    : QWidget(parent),
      table_(table),
      clock_(clock),
      prompter_(prompter),
      folder_(std::move(folder)) {
  setObjectName("Form1");
  setWindowTitle("Zelto Todo List v2.3");
  const QIcon appIcon = AppIcon();
  setWindowIcon(appIcon);
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, Qt::white);
  setPalette(pal);
  resize(DesignPixels(5775), DesignPixels(7125));

  const QLocale locale;
  for (int weekday = 1; weekday <= 7; ++weekday) {
    // Qt counts Monday as 1; the table counts Sunday as 1.
    weekdayNames_[static_cast<size_t>(weekday - 1)] =
        locale.dayName(weekday == 1 ? 7 : weekday - 1, QLocale::ShortFormat);
  }
  imageList1_ = {QIcon(), Picture("asc"), Picture("desc"), Picture("none"), appIcon};
  trayImage_ = appIcon;
  Notifications = new Notifier(this);

  // Created first so that it lies lowest: the frame covers it entirely.
  Command2 = new QPushButton("dummy", this);
  Command2->setObjectName("Command2");
  Command2->setGeometry(TwipsRect(480, 240, 255, 255));
  Command2->setAccessibleName("dummy");

  ListView1 = new QTreeView(this);
  ListView1->setObjectName("ListView1");
  ListView1->setGeometry(TwipsRect(0, 720, 5775, 6375));
  ListView1->setAccessibleName("Tasks");

  Frame1 = new QGroupBox("Tasks", this);
  Frame1->setObjectName("Frame1");
  Frame1->setGeometry(TwipsRect(120, 0, 1815, 615));
  Frame1->setAutoFillBackground(true);
  Frame1->setPalette(pal);
  QPalette yellow = pal;
  yellow.setColor(QPalette::Window, QColor(0xFF, 0xFF, 0xC0));
  Option1 = new QRadioButton("ToDo", Frame1);
  Option1->setObjectName("Option1");
  Option1->setGeometry(TwipsRect(120, 200, 735, 330));
  Option2 = new QRadioButton("Done", Frame1);
  Option2->setObjectName("Option2");
  Option2->setGeometry(TwipsRect(960, 200, 735, 330));
  for (QRadioButton* option : {Option1, Option2}) {
    option->setBackgroundRole(QPalette::Window);
    option->setAutoFillBackground(true);
    option->setPalette(yellow);
  }
  Option1->setChecked(true);

  Command5 = MakePictureButton("Command5", "New task", "new", 2040);
  Command4 = MakePictureButton("Command4", "Edit task", "edit", 2520);
  Command6 = MakePictureButton("Command6", "Delete task", "delete", 3000);
  Command3 = MakePictureButton("Command3", "Re-count", "recount", 3600);
  Command7 = MakePictureButton("Command7", "Recalculate All", "recalc", 4080);
  Command1 = MakePictureButton("Command1", "Refresh list & Save", "save", 4560);
  Command8 = MakePictureButton("Command8", "About", "about", 5160);

  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(1000);
  Timer2 = new QTimer(this);
  Timer2->setObjectName("Timer2");
  Timer2->setInterval(200);

  model_ = new TaskListModel(this);
  model_->SetHeaderImages(imageList1_[1], imageList1_[2], imageList1_[3]);
  model_->SetHeaderText(0, "ID");
  model_->SetHeaderText(1, "Task");
  model_->SetHeaderText(2, kPreviousHeader);
  ListView1->setModel(model_);
  ListView1->setRootIsDecorated(false);
  ListView1->setItemsExpandable(false);
  ListView1->setUniformRowHeights(true);
  ListView1->setAllColumnsShowFocus(true);
  ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
  ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
  ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ListView1->setTextElideMode(Qt::ElideRight);
  QHeaderView* header = ListView1->header();
  header->setStretchLastSection(false);
  header->setSectionsMovable(false);
  header->setSectionsClickable(true);
  header->setSortIndicatorShown(false);
  header->setHighlightSections(false);
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  header->setMinimumSectionSize(8);
  for (int i = 0; i < 3; ++i) header->resizeSection(i, DesignPixels(kColumnTwips[i]));
  connect(header, &QHeaderView::sectionClicked, this,
          [this](int logical) { ColumnClick(logical + 1); });
  connect(model_, &TaskListModel::ItemCheck, this, &Form1::ItemCheck);
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

  setTabOrder(ListView1, Command4);
  setTabOrder(Command4, Command5);
  setTabOrder(Command5, Command6);
  setTabOrder(Command6, Option1);
  setTabOrder(Option1, Option2);
  setTabOrder(Option2, Command1);
  setTabOrder(Command1, Command2);
  setTabOrder(Command2, Command3);
  setTabOrder(Command3, Command7);
  setTabOrder(Command7, Command8);

  // Design-time sort (first column, ascending) with sorting on and every
  // header plain until a sort is chosen.
  for (int column = 1; column <= 3; ++column) SetHeaderImage(column, 3);
  UseDesignLook(this);
  ListView1->setFocus();
}

Form2* Form1::Editor() const {
  // A closed editor lingers until the event loop deletes it.
  return editor_ && editor_->isVisible() ? editor_.data() : nullptr;
}

Form1::~Form1() {
  if (editor_) delete editor_.data();
}

QToolButton* Form1::MakePictureButton(const char* name, const QString& tip, const QString& picture,
                                      int left) {
  auto* button = new QToolButton(this);
  button->setObjectName(name);
  button->setGeometry(TwipsRect(left, 100, 460, 480));
  button->setIcon(Picture(picture));
  button->setIconSize(QSize(25, 28));
  button->setToolTip(tip);
  button->setAccessibleName(tip);
  button->setAutoRaise(true);
  button->setFocusPolicy(Qt::TabFocus);
  return button;
}

QIcon Form1::ImageList1(int index) const {
  if (index < 1 || index > 4) return {};
  return imageList1_[static_cast<size_t>(index)];
}

bool Form1::IsTodoView() const {
  return Option1->isChecked();
}

void Form1::FillTaskList() {
  const bool todo = Option1->isChecked();
  const bool done = Option2->isChecked();
  std::vector<TaskListModel::Row> rows;
  rows.reserve(static_cast<size_t>(model_->rowCount()) + 64);
  for (int id = 0; id <= kMaxTaskId; ++id) {
    const std::string& text = table_.TaskText[id];
    if (text.empty()) continue;
    const int16_t checked = table_.TaskChecked[id];
    if (!((todo && checked == 0) || (done && checked == -1))) continue;
    TaskListModel::Row row;
    row.id = QString::number(id);
    row.task = DisplayText(text);
    row.occurrence = OccurrenceText(
        todo ? table_.PreviousOccurrence[id] : table_.NextOccurrence[id], weekdayNames_);
    row.checked = checked != 0;
    rows.push_back(std::move(row));
  }
  if (todo) {
    model_->SetSortKey(SortNumber(TodoSortColumn));
    model_->SetSortOrder(SortNumber(TodoSortOrder));
  } else if (done) {
    model_->SetSortKey(SortNumber(DoneSortColumn));
    model_->SetSortOrder(SortNumber(DoneSortOrder));
  }
  model_->SetRows(std::move(rows));
  SelectFirstRow();
}

void Form1::SelectFirstRow() {
  if (model_->rowCount() == 0) return;
  const QModelIndex first = model_->index(0, 0);
  ListView1->selectionModel()->setCurrentIndex(
      first, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  ListView1->scrollTo(first);
}

void Form1::ColumnClick(int column) {
  model_->SetSortKey(column - 1);
  model_->SetSortOrder(1 - model_->SortOrder());
  model_->Sort();
  const QString key = QString::number(model_->SortKey());
  const QString order = QString::number(model_->SortOrder());
  if (Option1->isChecked()) {
    TodoSortColumn = key;
    TodoSortOrder = order;
  } else if (Option2->isChecked()) {
    DoneSortColumn = key;
    DoneSortOrder = order;
  }
  for (int c = 1; c <= 3; ++c) SetHeaderImage(c, 3);
  SetHeaderImage(column, model_->SortOrder() + 1);
}

void Form1::ShowViewHeaderImages(const QString& column, const QString& order) {
  for (int c = 1; c <= 3; ++c) SetHeaderImage(c, 3);
  SetHeaderImage(SortNumber(column) + 1, SortNumber(order) + 1);
}

void Form1::Option1_Click() {
  Command2->setFocus();
  model_->SetHeaderText(2, kPreviousHeader);
  FillTaskList();
  SelectFirstRow();
  ShowViewHeaderImages(TodoSortColumn, TodoSortOrder);
}

void Form1::Option2_Click() {
  Command2->setFocus();
  model_->SetHeaderText(2, kNextHeader);
  FillTaskList();
  SelectFirstRow();
  ShowViewHeaderImages(DoneSortColumn, DoneSortOrder);
}

void Form1::ItemCheck(int row, bool checked) {
  if (row < 0 || row >= model_->rowCount()) return;
  ListView1->selectionModel()->setCurrentIndex(
      model_->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  const auto id = ParseInt16(model_->RowAt(row).id.toStdString());
  if (id && table_.TaskText.Valid(*id)) {
    const DateTime now = clock_.Now();
    table_.TaskChecked[*id] = checked ? -1 : 0;
    table_.CheckedDate[*id] = checked ? now : DateTime();
    FindOccurrences(table_, *id, now);
  }
  FillTaskList();
}

int Form1::ListSortKey() const {
  return model_->SortKey();
}
int Form1::ListSortOrder() const {
  return model_->SortOrder();
}

void Form1::SetListSort(int column, int order) {
  model_->SetSortKey(column);
  model_->SetSortOrder(order);
  model_->Sort();
}

void Form1::SetHeaderImage(int column, int image) {
  model_->SetHeaderImage(column - 1, image);
}
int Form1::HeaderImage(int column) const {
  return model_->HeaderImage(column - 1);
}
QString Form1::HeaderText(int column) const {
  return model_->HeaderText(column - 1);
}
int Form1::RowCount() const {
  return model_->rowCount();
}

QString Form1::CellText(int row, int column) const {
  if (row < 0 || row >= model_->rowCount()) return {};
  const auto& r = model_->RowAt(row);
  return column == 0 ? r.id : column == 1 ? r.task : r.occurrence;
}

bool Form1::RowChecked(int row) const {
  return row >= 0 && row < model_->rowCount() && model_->RowAt(row).checked;
}

int Form1::SelectedRow() const {
  const QModelIndexList rows = ListView1->selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.first().row();
}

std::optional<int> Form1::SelectedTaskId() const {
  const int row = SelectedRow();
  if (row < 0) return std::nullopt;
  const auto id = ParseInt16(model_->RowAt(row).id.toStdString());
  if (!id || !table_.TaskText.Valid(*id)) return std::nullopt;
  return *id;
}

bool Form1::RefreshAndFill() {
  SetPassButtonsEnabled(false);
  const bool restore = RefreshDueTasks(table_, clock_.Now(), IsMinimized());
  SetPassButtonsEnabled(true);
  FillTaskList();
  return restore;
}

void Form1::RecalculateAndFill() {
  SetPassButtonsEnabled(false);
  RecalculateAll(table_, clock_.Now());
  SetPassButtonsEnabled(true);
  FillTaskList();
}

void Form1::Command1_Click() {
  Command2->setFocus();
  RefreshAndFill();
  SaveDataFile();
}

void Form1::Command3_Click() {
  Command2->setFocus();
  RecountTasks(table_);
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
  if (model_->rowCount() == 0) return;
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
  editor_ = new Form2(
      table_, clock_, prompter_, EditMode, EditTaskId, [this] { FillTaskList(); }, this);
  editor_->Open();
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
  if (model_->rowCount() == 0) return;
  table_.TaskText[*id].clear();
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

bool Form1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ListView1 && event->type() == QEvent::KeyRelease) {
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
