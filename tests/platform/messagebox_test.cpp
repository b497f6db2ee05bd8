// The message boxes themselves, as the user sees them: the real dialog is
// opened, read and answered by its own buttons, keys and frame; no
// scripted answers here.
#include "platform/messagebox.h"
#include "support/qt/answerer.h"

namespace zelto::test {
namespace {

// Asks `text` on the real box and answers it with `act`.
Answer Ask(const QString& text, Buttons buttons, const Act& act, Seen* seen = nullptr) {
  EXPECT_TRUE(qEnvironmentVariableIsEmpty("ZELTO_AUTO_ANSWER"));
  MessageBoxes::ClearScript();
  Answerer answerer({act});
  const Answer given = MessageBoxes().Ask(text, QStringLiteral("Zelto Todo List"), buttons);
  EXPECT_EQ(answerer.seen.size(), 1u) << "the real dialog was not opened";
  if (seen && !answerer.seen.empty()) *seen = answerer.seen[0];
  return given;
}

Act Press(QMessageBox::StandardButton which) {
  return [which](QMessageBox* box) { box->button(which)->click(); };
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
    Seen seen;
    EXPECT_EQ(Ask(c.text, c.buttons, Press(c.press), &seen), c.answer);
    EXPECT_TRUE(seen.plain);
    EXPECT_EQ(seen.text, c.text);
  }
}

// Never No for the save's question: No closes without saving. A yes/no
// question has no Cancel: there the safe answer is No.
TEST(MessageBoxes, ClosingTheBoxByItsFrameIsTheSafeAnswer) {
  const struct {
    const char* what;
    Buttons buttons;
    Act answer;
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
}  // namespace zelto::test
