// The message boxes themselves, as the user sees them: the real dialog is
// opened, read and answered by its own button.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>

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

}  // namespace
}  // namespace zelto
