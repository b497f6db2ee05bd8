#include "editor/form2.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDateEdit>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QWindow>

#include "look/pictures.h"
#include "look/twips.h"
#include "platform/messagebox.h"
#include "platform/textcodec.h"
#include "schedule/occurrences.h"
#include "store/convert.h"

namespace zelto {
namespace {

const QDate kPickerMin(1601, 1, 1);
const QDate kPickerMax(9999, 12, 31);
const QDate kPickerStart(2011, 12, 18);

// A mask box: the greyed state shows a stored 2, but a click only ever
// toggles between unticked and ticked.
class MaskCheckBox : public QCheckBox {
 public:
  MaskCheckBox(const QString& text, QWidget* parent) : QCheckBox(text, parent) {
    setTristate(true);
  }

 protected:
  void nextCheckState() override {
    setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
  }
};

bool HasLineBreak(const QString& text) {
  for (const QChar c : text) {
    const char16_t u = c.unicode();
    if (u == u'\r' || u == u'\n' || u == 0x2028 || u == 0x2029 || u == 0x85) return true;
  }
  return false;
}

// The data file is line-based: a line break inside a task would split its
// record. A pasted CR LF becomes one blank.
QString WithoutLineBreaks(QString text) {
  text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
  for (QChar& c : text) {
    const char16_t u = c.unicode();
    if (u == u'\r' || u == u'\n' || u == 0x2028 || u == 0x2029 || u == 0x85) c = u' ';
  }
  return text;
}

template <size_t N>
void SetAll(const std::array<QCheckBox*, N>& boxes, int16_t value) {
  for (QCheckBox* box : boxes) Form2::SetCheckValue(box, value);
}

}  // namespace

Form2::Form2(TaskTable& table, const Clock& clock, MessageBoxes& prompter, QString& editMode,
             int16_t& editTaskId, std::function<void()> fillTaskList, QWidget* mainWindow)
    : QDialog(nullptr),
      table_(table),
      clock_(clock),
      prompter_(prompter),
      editMode_(editMode),
      editTaskId_(editTaskId),
      fillTaskList_(std::move(fillTaskList)),
      mainWindow_(mainWindow) {
  setObjectName("Form2");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
  setWindowModality(Qt::NonModal);
  setWindowTitle("New / Edit Task");
  setWindowIcon(AppIcon());
  setSizeGripEnabled(false);
  resize(DesignPixels(6840), DesignPixels(5040));
  BuildControls();
  UseDesignLook(this);
}

Form2::~Form2() {
  EnableMainWindow();
}

void Form2::BuildControls() {
  Label1 = new QLabel("Task", this);
  Label1->setObjectName("Label1");
  Label1->setGeometry(TwipsRect(240, 240, 495, 255));
  Text1 = new QLineEdit(this);
  Text1->setObjectName("Text1");
  Text1->setGeometry(TwipsRect(720, 240, 6015, 285));
  Text1->setAccessibleName("Task");
  Label1->setBuddy(Text1);
  connect(Text1, &QLineEdit::textChanged, this, [this](const QString& text) {
    if (!HasLineBreak(text)) return;
    const int caret = Text1->cursorPosition();
    Text1->setText(WithoutLineBreaks(text));
    Text1->setCursorPosition(std::min(caret, static_cast<int>(Text1->text().size())));
  });

  auto frame = [this](const char* name, const QString& title, QRect rect) {
    auto* box = new QGroupBox(title, this);
    box->setObjectName(name);
    box->setGeometry(rect);
    return box;
  };
  Frame2 = frame("Frame2", "Hour", TwipsRect(240, 600, 3495, 1335));
  Frame1 = frame("Frame1", "Weekday", TwipsRect(3840, 600, 2895, 1335));
  Frame4 = frame("Frame4", "Day", TwipsRect(240, 2040, 3615, 1575));
  Frame3 = frame("Frame3", "Month", TwipsRect(4080, 2040, 2655, 1095));
  Frame5 = frame("Frame5", "Each n day", TwipsRect(240, 3720, 5775, 735));

  auto box = [](QWidget* parent, const QString& array, int index, const QString& caption,
                QRect rect) {
    auto* check = new MaskCheckBox(caption, parent);
    check->setObjectName(QString("%1(%2)").arg(array).arg(index));
    check->setGeometry(rect);
    check->setCheckState(Qt::Checked);
    return check;
  };
  static const char* const kWeekdays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                          "Thursday", "Friday", "Saturday"};
  static const int kWeekdayBox[7][3] = {{120, 240, 855},   {120, 480, 975},  {120, 720, 975},
                                        {1320, 240, 1215}, {1320, 480, 975}, {1320, 720, 975},
                                        {1320, 960, 975}};
  for (int w = 0; w < 7; ++w) {
    const auto& b = kWeekdayBox[w];
    Check1[static_cast<size_t>(w)] =
        box(Frame1, "Check1", w, kWeekdays[w], TwipsRect(b[0], b[1], b[2], 255));
  }
  for (int h = 0; h < 24; ++h) {
    Check2[static_cast<size_t>(h)] =
        box(Frame2, "Check2", h, QString::number(h),
            TwipsRect(120 + 480 * (h % 6), 240 + 240 * (h / 6), 495, 255));
  }
  for (int m = 0; m < 12; ++m) {
    Check3[static_cast<size_t>(m)] =
        box(Frame3, "Check3", m, QString::number(m + 1),
            TwipsRect(120 + 480 * (m % 4), 240 + 240 * (m / 4), 495, 255));
  }
  for (int d = 0; d < 31; ++d) {
    const QRect rect = d < 30 ? TwipsRect(120 + 480 * (d % 6), 240 + 240 * (d / 6), 495, 255)
                              : TwipsRect(3000, 1200, 495, 255);
    Check4[static_cast<size_t>(d)] = box(Frame4, "Check4", d, QString::number(d + 1), rect);
  }

  auto button = [](QWidget* parent, const char* name, const QString& caption, QRect rect) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setGeometry(rect);
    return b;
  };
  Command1 = button(this, "Command1", "Save", TwipsRect(4440, 4560, 1095, 375));
  Command2 = button(this, "Command2", "Cancel", TwipsRect(5640, 4560, 1095, 375));
  Command3 = button(Frame2, "Command3", "+", TwipsRect(3000, 360, 375, 255));
  Command4 = button(Frame2, "Command4", "-", TwipsRect(3000, 720, 375, 255));
  Command5 = button(Frame1, "Command5", "+", TwipsRect(2400, 480, 375, 255));
  Command6 = button(Frame1, "Command6", "-", TwipsRect(2400, 840, 375, 255));
  Command7 = button(Frame4, "Command7", "+", TwipsRect(3120, 360, 375, 255));
  Command8 = button(Frame4, "Command8", "-", TwipsRect(3120, 720, 375, 255));
  Command9 = button(Frame3, "Command9", "+", TwipsRect(2160, 240, 375, 255));
  Command10 = button(Frame3, "Command10", "-", TwipsRect(2160, 600, 375, 255));
  const std::pair<QPushButton*, const char*> kPlusMinusNames[] = {
      {Command3, "Tick every hour"},    {Command4, "Clear every hour"},
      {Command5, "Tick every weekday"}, {Command6, "Clear every weekday"},
      {Command7, "Tick every day"},     {Command8, "Clear every day"},
      {Command9, "Tick every month"},   {Command10, "Clear every month"}};
  for (const auto& [b, name] : kPlusMinusNames) {
    b->setAccessibleName(name);
    b->setToolTip(name);
    b->setAutoDefault(false);
  }
  Command1->setDefault(true);
  Command2->setAutoDefault(false);
  connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
  connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
  connect(Command3, &QPushButton::clicked, this, [this] { SetAll(Check2, 1); });
  connect(Command4, &QPushButton::clicked, this, [this] { SetAll(Check2, 0); });
  connect(Command5, &QPushButton::clicked, this, [this] { SetAll(Check1, 1); });
  connect(Command6, &QPushButton::clicked, this, [this] { SetAll(Check1, 0); });
  connect(Command7, &QPushButton::clicked, this, [this] { SetAll(Check4, 1); });
  connect(Command8, &QPushButton::clicked, this, [this] { SetAll(Check4, 0); });
  connect(Command9, &QPushButton::clicked, this, [this] { SetAll(Check3, 1); });
  connect(Command10, &QPushButton::clicked, this, [this] { SetAll(Check3, 0); });

  Label2 = new QLabel("Each", Frame5);
  Label2->setObjectName("Label2");
  Label2->setGeometry(TwipsRect(120, 315, 495, 255));
  Text2 = new QLineEdit("1", Frame5);
  Text2->setObjectName("Text2");
  Text2->setGeometry(TwipsRect(600, 285, 375, 285));
  Text2->setAccessibleName("Each n days");
  Text2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  Label2->setBuddy(Text2);
  Label3 = new QLabel("th day", Frame5);
  Label3->setObjectName("Label3");
  Label3->setGeometry(TwipsRect(1080, 315, 495, 255));
  Label4 = new QLabel("Starting from", Frame5);
  Label4->setObjectName("Label4");
  // A few pixels right of the design position, and the picker a few
  // pixels narrower, so that the caption clears both neighbours in any font.
  Label4->setGeometry(TwipsRect(1620, 315, 975, 255));
  DTPicker1 = new QDateEdit(Frame5);
  DTPicker1->setObjectName("DTPicker1");
  DTPicker1->setGeometry(TwipsRect(2640, 240, 2895, 330));
  DTPicker1->setCalendarPopup(true);
  DTPicker1->setDateRange(kPickerMin, kPickerMax);
  DTPicker1->setDisplayFormat("yyyy-MM-dd  dddd");
  DTPicker1->setDate(kPickerStart);
  DTPicker1->setAccessibleName("Starting from");
  Label4->setBuddy(DTPicker1);

  QWidget* previous = Text1;
  auto chain = [&previous](QWidget* next) {
    setTabOrder(previous, next);
    previous = next;
  };
  for (QCheckBox* b : Check1) chain(b);
  for (QCheckBox* b : Check2) chain(b);
  for (QCheckBox* b : Check3) chain(b);
  for (QCheckBox* b : Check4) chain(b);
  for (QPushButton* b : {Command1, Command2, Command3, Command4, Command5, Command6, Command7,
                         Command8, Command9, Command10})
    chain(b);
  chain(DTPicker1);
  chain(Text2);
}

int16_t Form2::CheckValue(const QCheckBox* box) {
  switch (box->checkState()) {
    case Qt::Checked:
      return 1;
    case Qt::PartiallyChecked:
      return 2;
    default:
      return 0;
  }
}

void Form2::SetCheckValue(QCheckBox* box, int16_t value) {
  switch (value) {
    case 0:
      box->setCheckState(Qt::Unchecked);
      break;
    case 1:
      box->setCheckState(Qt::Checked);
      break;
    case 2:
      box->setCheckState(Qt::PartiallyChecked);
      break;
    default:
      break;  // a value no box can show leaves the box as it is
  }
}

void Form2::Open() {
  Form_Load();
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }
  // Without a parent (a disabled parent would disable the dialog too), so
  // tell the window system whose dialog this is.
  winId();
  if (mainWindow_ && mainWindow_->windowHandle() && windowHandle())
    windowHandle()->setTransientParent(mainWindow_->windowHandle());
  show();
  raise();
  activateWindow();
  Text1->setFocus();
  Text1->setCursorPosition(static_cast<int>(Text1->text().size()));
}

void Form2::Form_Load() {
  if (editMode_ == "new") {
    // TaskCount is only a hint: a refresh while an earlier dialog was open
    // may have counted below an id that has been saved since. Never hand
    // out a slot that is in use.
    int id = table_.TaskCount + 1;
    while (id <= kMaxTaskId && table_.InUse(id)) ++id;
    id = std::min(id, 32767);
    editTaskId_ = static_cast<int16_t>(id);
    table_.TaskCount = editTaskId_;
    if (table_.TaskCount > kMaxTaskId) {
      prompter_.Ask(QStringLiteral("Maximum of 10000 entries reached. Try Re-count."),
                    QString::fromUtf8(kAppTitle.data(), kAppTitle.size()), Buttons::Ok);
    }
  } else if (editMode_ == "edit") {
    LoadSlot(editTaskId_);
  }
  // Only now: the limit message above is a child of the main window, and a
  // disabled window disables its message boxes too, which would leave the
  // user no way to close it. The message is modal, so the window takes no
  // input before this point either.
  if (mainWindow_) mainWindow_->setEnabled(false);
  taskId_ = editTaskId_;
  shownText_ = Text1->text();
}

void Form2::LoadSlot(int id) {
  if (!table_.TaskText.Valid(id)) return;
  for (int k = 0; k < kMaskSize; ++k) {
    if (k < 24) SetCheckValue(Check2[static_cast<size_t>(k)], table_.HourMask[id][k]);
    if (k < 7) SetCheckValue(Check1[static_cast<size_t>(k)], table_.WeekdayMask[id][k]);
    SetCheckValue(Check4[static_cast<size_t>(k)], table_.DayOfMonthMask[id][k]);
    if (k < 12) SetCheckValue(Check3[static_cast<size_t>(k)], table_.MonthMask[id][k]);
  }
  loadedText_ = table_.TaskText[id];
  Text1->setText(DecodeText(loadedText_));
  Text2->setText(QString::number(table_.EveryNDays[id]));
  const QDate start(table_.StartYear[id], table_.StartMonth[id], table_.StartDay[id]);
  if (start.isValid() && start >= kPickerMin && start <= kPickerMax) DTPicker1->setDate(start);
}

void Form2::Command1_Click() {
  const int id = taskId_;
  if (table_.TaskText.Valid(id)) {
    const QString text = WithoutLineBreaks(Text1->text());
    const bool untouched =
        text == shownText_ && loadedText_.find_first_of("\r\n") == std::string::npos;
    table_.TaskText[id] = untouched ? loadedText_ : EncodeText(text);

    bool isNumber = false;
    const double interval = QLocale().toDouble(Text2->text().trimmed(), &isNumber);
    if (isNumber) {
      if (const auto rounded = RoundToInt16(interval)) table_.EveryNDays[id] = *rounded;
    }

    const QDate start = DTPicker1->date();
    table_.StartDay[id] = static_cast<int16_t>(start.day());
    table_.StartMonth[id] = static_cast<int16_t>(start.month());
    table_.StartYear[id] = static_cast<int16_t>(start.year());

    for (int k = 0; k < kMaskSize; ++k) {
      if (k < 24) table_.HourMask[id][k] = CheckValue(Check2[static_cast<size_t>(k)]);
      if (k < 7) table_.WeekdayMask[id][k] = CheckValue(Check1[static_cast<size_t>(k)]);
      table_.DayOfMonthMask[id][k] = CheckValue(Check4[static_cast<size_t>(k)]);
      if (k < 12) table_.MonthMask[id][k] = CheckValue(Check3[static_cast<size_t>(k)]);
    }

    table_.PreviousOccurrence[id] = std::string(kOkMarker);
    table_.NextOccurrence[id] = std::string(kOkMarker);
    FindOccurrences(table_, id, clock_.Now());
  }
  if (fillTaskList_) fillTaskList_();
  editMode_.clear();
  close();
}

void Form2::Command2_Click() {
  editMode_.clear();
  close();
}

void Form2::reject() {
  Command2_Click();
}

void Form2::closeEvent(QCloseEvent* event) {
  // The close box stores nothing, like Cancel, but leaves the hand-over
  // mode as it was.
  EnableMainWindow();
  event->accept();
  QWidget::closeEvent(event);
}

void Form2::EnableMainWindow() {
  if (mainWindow_) mainWindow_->setEnabled(true);
}

}  // namespace zelto
