// The message boxes themselves, as the user sees them: the real dialog is
// opened, read and answered by its own buttons, keys and frame; no
// scripted answers here.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "platform/messagebox.h"

namespace zelto {
namespace {

struct Seen {
  QString text;
  Qt::TextFormat format = Qt::AutoText;
  bool shown = false;
};

// Opens a box for `text` and, once it is up, reads its label and presses
// the button `press`.
Answer AskAndRead(const QString& text, Buttons buttons, QMessageBox::StandardButton press,
                  Seen& seen) {
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    seen.shown = true;
    if (const auto* label = box->findChild<QLabel*>("qt_msgbox_label")) {
      seen.text = label->text();
      seen.format = label->textFormat();
    }
    box->button(press)->click();
  });
  return MessageBoxes().Ask(text, "Zelto Todo List", buttons);
}

// Task text inside a question is shown as it is, never as markup: an image
// tag would load its file (a device or a pipe hangs the window).
TEST(MessageBoxes, TextIsShownAsPlainText) {
  ASSERT_FALSE(qEnvironmentVariableIsSet("ZELTO_AUTO_ANSWER"));
  MessageBoxes::ClearScript();
  const struct {
    QString text;
    Buttons buttons;
    QMessageBox::StandardButton press;
    Answer answer;
  } cases[] = {
      {"Delete task <b>x</b>?", Buttons::YesNo, QMessageBox::No, Answer::No},
      {"Error for task: <img src=\"/dev/zero\">", Buttons::Ok, QMessageBox::Ok, Answer::Ok},
      {"Delete task a &amp; b <br> c?", Buttons::YesNo, QMessageBox::Yes, Answer::Yes},
      {"<qt>Error saving file!", Buttons::YesNoCancel, QMessageBox::Cancel, Answer::Cancel},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.toStdString());
    Seen seen;
    EXPECT_EQ(AskAndRead(c.text, c.buttons, c.press, seen), c.answer);
    ASSERT_TRUE(seen.shown) << "the real dialog was not opened";
    EXPECT_EQ(seen.format, Qt::PlainText);
    EXPECT_EQ(seen.text, c.text);
  }
}

// Runs `answer` on the box once it is up, from inside its own event loop.
Answer AskAndThen(Buttons buttons, std::function<void(QMessageBox*)> answer) {
  QTimer poll;
  poll.setInterval(1);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return;
    poll.stop();
    answer(box);
  });
  poll.start();
  MessageBoxes prompter;
  return prompter.Ask(QStringLiteral("Save?"), QStringLiteral("Zelto Todo List save data"),
                      buttons);
}

void PressEscape(QMessageBox* box) {
  QTest::keyClick(box, Qt::Key_Escape);
}
void CloseByFrame(QMessageBox* box) {
  box->close();  // what the frame's close button asks of the window
}
// As at session end, when every open box's loop is ended: no button at all.
void GoneWithoutAnswer(QMessageBox* box) {
  box->hide();
}
std::function<void(QMessageBox*)> Press(QMessageBox::StandardButton which) {
  return [which](QMessageBox* box) { box->button(which)->click(); };
}

TEST(MessageBoxes, ClosingTheBoxByItsFrameIsTheSafeAnswer) {
  ASSERT_TRUE(qEnvironmentVariableIsEmpty("ZELTO_AUTO_ANSWER"));
  MessageBoxes::ClearScript();
  const struct {
    const char* what;
    Buttons buttons;
    std::function<void(QMessageBox*)> answer;
    Answer expected;
  } cases[] = {
      // Never No for the save's question: No closes without saving.
      {"Esc, yes/no/cancel", Buttons::YesNoCancel, PressEscape, Answer::Cancel},
      {"frame, yes/no/cancel", Buttons::YesNoCancel, CloseByFrame, Answer::Cancel},
      {"gone, yes/no/cancel", Buttons::YesNoCancel, GoneWithoutAnswer, Answer::Cancel},
      {"No, yes/no/cancel", Buttons::YesNoCancel, Press(QMessageBox::No), Answer::No},
      {"Yes, yes/no/cancel", Buttons::YesNoCancel, Press(QMessageBox::Yes), Answer::Yes},
      {"Enter, yes/no/cancel", Buttons::YesNoCancel,
       [](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Return); }, Answer::Yes},
      // A yes/no question has no Cancel: there the safe answer is No.
      {"Esc, yes/no", Buttons::YesNo, PressEscape, Answer::No},
      {"frame, yes/no", Buttons::YesNo, CloseByFrame, Answer::No},
      {"gone, yes/no", Buttons::YesNo, GoneWithoutAnswer, Answer::No},
      {"frame, ok", Buttons::Ok, CloseByFrame, Answer::Ok},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(AskAndThen(c.buttons, c.answer), c.expected);
  }
}

}  // namespace
}  // namespace zelto
