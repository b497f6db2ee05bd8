// The message boxes themselves, as the user sees them: the real dialog is
// opened, read and answered by its own buttons, keys and frame; no
// scripted answers here.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <functional>

#include "platform/messagebox.h"

namespace zelto {
namespace {

using Action = std::function<void(QMessageBox*)>;

// Asks `text` and runs `answer` on the box once it is up, from inside its
// own event loop.
Answer Ask(const QString& text, Buttons buttons, const Action& answer) {
  EXPECT_TRUE(qEnvironmentVariableIsEmpty("ZELTO_AUTO_ANSWER"));
  MessageBoxes::ClearScript();
  bool shown = false;
  QTimer poll;
  poll.setInterval(1);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return;
    poll.stop();
    shown = true;
    answer(box);
  });
  poll.start();
  const Answer given = MessageBoxes().Ask(text, QStringLiteral("Zelto Todo List"), buttons);
  EXPECT_TRUE(shown) << "the real dialog was not opened";
  return given;
}

Action Press(QMessageBox::StandardButton which) {
  return [which](QMessageBox* box) { box->button(which)->click(); };
}
Action Key(Qt::Key key) {
  return [key](QMessageBox* box) { QTest::keyClick(box, key); };
}
// What the frame's close button asks of the window.
void CloseByFrame(QMessageBox* box) {
  box->close();
}
// As at session end, when every open box's loop is ended: no button at all.
void GoneWithoutAnswer(QMessageBox* box) {
  box->hide();
}

// Task text inside a question is shown as it is, never as markup: an image
// tag would load its file (a device or a pipe hangs the window).
TEST(MessageBoxes, TextIsShownAsPlainText) {
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
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    const auto read = [&](QMessageBox* box) {
      if (const auto* label = box->findChild<QLabel*>("qt_msgbox_label"))
        text = label->text(), format = label->textFormat();
      Press(c.press)(box);
    };
    EXPECT_EQ(Ask(c.text, c.buttons, read), c.answer);
    EXPECT_EQ(format, Qt::PlainText);
    EXPECT_EQ(text, c.text);
  }
}

// Never No for the save's question: No closes without saving. A yes/no
// question has no Cancel: there the safe answer is No.
TEST(MessageBoxes, ClosingTheBoxByItsFrameIsTheSafeAnswer) {
  const struct {
    const char* what;
    Buttons buttons;
    Action answer;
    Answer expected;
  } cases[] = {
      {"Esc, yes/no/cancel", Buttons::YesNoCancel, Key(Qt::Key_Escape), Answer::Cancel},
      {"frame, yes/no/cancel", Buttons::YesNoCancel, CloseByFrame, Answer::Cancel},
      {"gone, yes/no/cancel", Buttons::YesNoCancel, GoneWithoutAnswer, Answer::Cancel},
      {"Enter, yes/no/cancel", Buttons::YesNoCancel, Key(Qt::Key_Return), Answer::Yes},
      {"Esc, yes/no", Buttons::YesNo, Key(Qt::Key_Escape), Answer::No},
      {"frame, yes/no", Buttons::YesNo, CloseByFrame, Answer::No},
      {"gone, yes/no", Buttons::YesNo, GoneWithoutAnswer, Answer::No},
      {"frame, ok", Buttons::Ok, CloseByFrame, Answer::Ok},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Ask("Save?", c.buttons, c.answer), c.expected);
  }
}

}  // namespace
}  // namespace zelto
