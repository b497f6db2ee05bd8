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
#include <span>

#include "look/pictures.h"
#include "look/twips.h"
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

QRect GridRect(int index, int perRow) {
  return TwipsRect(120 + 480 * (index % perRow), 240 + 240 * (index / perRow), 495, 255);
}

}  // namespace

Form2::Form2(QWidget* opener, const Clock& clock)
    : QDialog(nullptr), opener_(opener), clock_(clock), weekdayNames_(LocaleWeekdayNames()) {
  setObjectName("Form2");
  setAttribute(Qt::WA_DeleteOnClose);
  // A dialog to the window system, so that it names the main window as its
  // owner (set at opening) and keeps the dialog above it; a plain top-level
  // window would go behind the disabled main window at its first click.
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
  setWindowModality(Qt::NonModal);
  setWindowTitle("New / Edit Task");
  setWindowIcon(AppIcon());
  setSizeGripEnabled(false);
  resize(DesignPixels(6840), DesignPixels(5040));
  UseDesignFont(this);
  BuildTaskText();
  BuildFrames();
  BuildMaskBoxes();
  BuildButtons();
  BuildEachNDays();
  ChainTabOrder();
  BuildPreview();
  UseDesignLook(this);
  GiveCaptionsRoom();
  FitPreview();
}

// The design's boxes were measured for a narrower face than ours: a caption
// that does not fit grows to the right from where it stands, over the
// neighbour it then reaches, so that it shows whole.
void Form2::GiveCaptionsRoom() {
  for (QLabel* label : {Label1, Label2, Label3, Label4}) {
    const int needed = label->sizeHint().width();
    if (needed <= label->width()) continue;
    label->resize(needed, label->height());
    label->raise();
  }
}

Form2::~Form2() {
  EnableOpener();
}

void Form2::BuildTaskText() {
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
}

void Form2::BuildFrames() {
  const struct {
    QGroupBox* Form2::*member;
    const char* name;
    const char* title;
    QRect rect;
  } frames[] = {{&Form2::Frame2, "Frame2", "Hour", TwipsRect(240, 600, 3495, 1335)},
                {&Form2::Frame1, "Frame1", "Weekday", TwipsRect(3840, 600, 2895, 1335)},
                {&Form2::Frame4, "Frame4", "Day", TwipsRect(240, 2040, 3615, 1575)},
                {&Form2::Frame3, "Frame3", "Month", TwipsRect(4080, 2040, 2655, 1095)},
                {&Form2::Frame5, "Frame5", "Each n day", TwipsRect(240, 3720, 5775, 735)}};
  for (const auto& f : frames) {
    auto* box = new QGroupBox(f.title, this);
    box->setObjectName(f.name);
    box->setGeometry(f.rect);
    this->*f.member = box;
  }
}

void Form2::BuildMaskBoxes() {
  auto box = [](QWidget* parent, const char* array, int index, const QString& caption, QRect rect) {
    auto* check = new MaskCheckBox(caption, parent);
    check->setObjectName(QString("%1(%2)").arg(array).arg(index));
    check->setGeometry(rect);
    check->setCheckState(Qt::Checked);
    return check;
  };
  static const struct {
    const char* caption;
    int left, top, width;
  } kWeekdays[] = {{"Sunday", 120, 240, 855},    {"Monday", 120, 480, 975},
                   {"Tuesday", 120, 720, 975},   {"Wednesday", 1320, 240, 1215},
                   {"Thursday", 1320, 480, 975}, {"Friday", 1320, 720, 975},
                   {"Saturday", 1320, 960, 975}};
  for (int w = 0; w < 7; ++w) {
    const auto& b = kWeekdays[w];
    Check1[static_cast<size_t>(w)] =
        box(Frame1, "Check1", w, b.caption, TwipsRect(b.left, b.top, b.width, 255));
  }
  for (int h = 0; h < 24; ++h)
    Check2[static_cast<size_t>(h)] = box(Frame2, "Check2", h, QString::number(h), GridRect(h, 6));
  for (int m = 0; m < 12; ++m)
    Check3[static_cast<size_t>(m)] =
        box(Frame3, "Check3", m, QString::number(m + 1), GridRect(m, 4));
  // Day 31 ends the fifth row, below the "+" and "-" of the frame.
  for (int d = 0; d < 31; ++d)
    Check4[static_cast<size_t>(d)] = box(Frame4, "Check4", d, QString::number(d + 1),
                                         d < 30 ? GridRect(d, 6) : TwipsRect(3000, 1200, 495, 255));
}

void Form2::BuildButtons() {
  auto button = [](QWidget* parent, const char* name, const char* caption, QRect rect) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setGeometry(rect);
    return b;
  };
  Command1 = button(this, "Command1", "Save", TwipsRect(4440, 4560, 1095, 375));
  Command2 = button(this, "Command2", "Cancel", TwipsRect(5640, 4560, 1095, 375));
  // Enter presses the focused button; elsewhere it is "Save".
  Command1->setDefault(true);
  Command2->setAutoDefault(true);
  connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
  connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });

  // "+" ticks and "-" clears every box of its frame; their names say so.
  const struct {
    QPushButton* Form2::*member;
    QGroupBox* frame;
    const char *name, *caption;
    int left, top;
    const char* tip;
    std::span<QCheckBox* const> boxes;
    int16_t value;
  } plusMinus[] = {
      {&Form2::Command3, Frame2, "Command3", "+", 3000, 360, "Tick every hour", Check2, 1},
      {&Form2::Command4, Frame2, "Command4", "-", 3000, 720, "Clear every hour", Check2, 0},
      {&Form2::Command5, Frame1, "Command5", "+", 2400, 480, "Tick every weekday", Check1, 1},
      {&Form2::Command6, Frame1, "Command6", "-", 2400, 840, "Clear every weekday", Check1, 0},
      {&Form2::Command7, Frame4, "Command7", "+", 3120, 360, "Tick every day", Check4, 1},
      {&Form2::Command8, Frame4, "Command8", "-", 3120, 720, "Clear every day", Check4, 0},
      {&Form2::Command9, Frame3, "Command9", "+", 2160, 240, "Tick every month", Check3, 1},
      {&Form2::Command10, Frame3, "Command10", "-", 2160, 600, "Clear every month", Check3, 0}};
  for (const auto& p : plusMinus) {
    QPushButton* b = button(p.frame, p.name, p.caption, TwipsRect(p.left, p.top, 375, 255));
    this->*p.member = b;
    b->setAccessibleName(p.tip);
    b->setToolTip(p.tip);
    b->setAutoDefault(true);
    connect(b, &QPushButton::clicked, this,
            [this, boxes = p.boxes, value = p.value] { SetAll(boxes, value); });
  }
}

void Form2::BuildEachNDays() {
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
  Label4->setGeometry(TwipsRect(1560, 315, 975, 255));
  DTPicker1 = new QDateEdit(Frame5);
  DTPicker1->setObjectName("DTPicker1");
  DTPicker1->setGeometry(TwipsRect(2520, 240, 3015, 330));
  DTPicker1->setCalendarPopup(true);
  DTPicker1->setDateRange(kPickerMin, kPickerMax);
  DTPicker1->setDisplayFormat("yyyy-MM-dd  dddd");
  DTPicker1->setDate(kPickerStart);
  DTPicker1->setAccessibleName("Starting from");
  Label4->setBuddy(DTPicker1);
}

void Form2::ChainTabOrder() {
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

// Directly below "Each n day", beside "Save" and "Cancel"; the hours
// reach below the buttons, and the window grows by that much.
void Form2::BuildPreview() {
  Label5 = new QLabel("Next due", this);
  Label5->setObjectName("Label5");
  Label5->setGeometry(TwipsRect(240, 4560, 915, 255));
  Label5->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Label6 = new QLabel(this);
  Label6->setObjectName("Label6");
  Label6->setGeometry(TwipsRect(1200, 4560, 3135, 255));
  Label6->setTextFormat(Qt::PlainText);
  Label6->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Label6->setAccessibleName("Next due");
  Label5->setBuddy(Label6);

  auto update = [this] {
    if (!previewHeld_) UpdatePreview();
  };
  for (const auto& [boxes, mask] : MaskGrids())
    for (QCheckBox* box : boxes) connect(box, &QCheckBox::stateChanged, this, update);
  connect(Text2, &QLineEdit::textChanged, this, update);
  connect(DTPicker1, &QDateEdit::dateChanged, this, update);
}

// Room for every line in the font the window ended up with.
void Form2::FitPreview() {
  const QRect lines(Label6->pos(),
                    QSize(Label6->width(), kPreviewHours * Label6->fontMetrics().lineSpacing()));
  Label6->setGeometry(lines);
  const int bottom = std::max(DesignPixels(5040), lines.bottom() + 1 + DesignPixels(105));
  resize(width(), bottom);
}

void Form2::UpdatePreview() {
  const TaskValue rule = Result(slot_);
  const std::vector<DateTime> hours = NextOccurrences(rule, clock_.Now(), kPreviewHours);
  if (hours.empty()) {
    Label6->setText(QStringLiteral("never within a year"));
    return;
  }
  QString text;
  for (const DateTime& hour : hours) {
    if (!text.isEmpty()) text += u'\n';
    text += FormatListDate(hour, weekdayNames_);
  }
  // The next one after the last lies more than a year beyond it.
  if (static_cast<int>(hours.size()) < kPreviewHours)
    text += QStringLiteral("\nthen not within a year");
  Label6->setText(text);
}

void Form2::SetAll(std::span<QCheckBox* const> boxes, int16_t value) {
  previewHeld_ = true;
  for (QCheckBox* box : boxes) SetCheckValue(box, value);
  previewHeld_ = false;
  UpdatePreview();
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

void Form2::Open(Mode mode, const TaskValue& slot) {
  slot_ = slot;
  if (mode == Mode::Edit) Load(slot);
  UpdatePreview();
  // Only now: a message box the opener showed for a new task (the id
  // limit) is a child of that window, and a disabled window disables its
  // message boxes too.
  if (opener_) opener_->setEnabled(false);
  shownText_ = Text1->text();
  // Without a parent (a disabled parent would disable the dialog too), so
  // tell the window system whose dialog this is.
  winId();
  CentreOnScreen();
  if (opener_ && opener_->windowHandle() && windowHandle())
    windowHandle()->setTransientParent(opener_->windowHandle());
  show();
  raise();
  activateWindow();
  Text1->setFocus();
  Text1->setCursorPosition(static_cast<int>(Text1->text().size()));
}

// The whole window, frame included, goes to the middle of the screen. Where
// the window system tells the frame only once the window is up, the
// opener's frame (the same kind of window) stands in for it.
void Form2::CentreOnScreen() {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  QSize outer = frameGeometry().size();
  if (outer == size() && opener_ && opener_->isVisible())
    outer += opener_->frameGeometry().size() - opener_->size();
  const QRect area = screen->geometry();
  move(area.x() + (area.width() - outer.width()) / 2,
       area.y() + (area.height() - outer.height()) / 2);
}

std::array<Form2::MaskGrid, 4> Form2::MaskGrids() const {
  return {{{Check2, &TaskValue::HourMask},
           {Check1, &TaskValue::WeekdayMask},
           {Check4, &TaskValue::DayOfMonthMask},
           {Check3, &TaskValue::MonthMask}}};
}

void Form2::Load(const TaskValue& slot) {
  previewHeld_ = true;
  for (const auto& [boxes, mask] : MaskGrids())
    for (size_t k = 0; k < boxes.size(); ++k)
      SetCheckValue(boxes[k], (slot.*mask)[static_cast<int>(k)]);
  loadedText_ = slot.Text;
  Text1->setText(DecodeText(loadedText_));
  Text2->setText(QString::number(slot.EveryNDays));
  const QDate start(slot.StartYear, slot.StartMonth, slot.StartDay);
  if (start.isValid() && start >= kPickerMin && start <= kPickerMax) DTPicker1->setDate(start);
  previewHeld_ = false;
}

TaskValue Form2::Result(TaskValue value) const {
  const QString text = WithoutLineBreaks(Text1->text());
  const bool untouched =
      text == shownText_ && loadedText_.find_first_of("\r\n") == std::string::npos;
  value.Text = untouched ? loadedText_ : EncodeText(text);

  bool isNumber = false;
  const double interval = QLocale().toDouble(Text2->text().trimmed(), &isNumber);
  if (isNumber) {
    if (const auto rounded = RoundToInt16(interval)) value.EveryNDays = *rounded;
  }

  const QDate start = DTPicker1->date();
  value.StartDay = static_cast<int16_t>(start.day());
  value.StartMonth = static_cast<int16_t>(start.month());
  value.StartYear = static_cast<int16_t>(start.year());

  for (const auto& [boxes, mask] : MaskGrids())
    for (size_t k = 0; k < boxes.size(); ++k)
      (value.*mask)[static_cast<int>(k)] = CheckValue(boxes[k]);
  return value;
}

void Form2::Command1_Click() {
  emit Saved();
  close();
}

void Form2::Command2_Click() {
  emit Cancelled();
  close();
}

void Form2::reject() {
  Command2_Click();
}

void Form2::closeEvent(QCloseEvent* event) {
  // The close box stores nothing, like Cancel, but says nothing either.
  EnableOpener();
  event->accept();
  QWidget::closeEvent(event);
}

void Form2::EnableOpener() {
  if (opener_) opener_->setEnabled(true);
}

}  // namespace zelto
