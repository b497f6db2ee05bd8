// The user's own close when the save fails, answered on the real message
// box; and the log-off, which asks its question once.
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <deque>
#include <filesystem>
#include <functional>

#include "form1_fixture.h"

namespace zelto::test {
namespace {

namespace fs = std::filesystem;

constexpr char kQuestion[] =
    "There was an error opening the data file... Do you really want to save this data?";

class CloseTest : public Form1Test {
 protected:
  void SetUp() override {
    Form1Test::SetUp();
    WriteFileBytes(folder / "content.txt", "*****\r\n*** end\r\n");
    Start();
  }
};

// What one box showed, read before it was answered.
struct Seen {
  QString text, detail;
  QStringList buttons;
  bool plain = false;
};
using Act = std::function<void(QMessageBox*)>;

// Answers each box that comes up with the next of `acts`.
class Answerer {
 public:
  explicit Answerer(std::deque<Act> acts) : acts_(std::move(acts)) {
    poll_.setInterval(1);
    QObject::connect(&poll_, &QTimer::timeout, [this] { Look(); });
    poll_.start();
  }
  std::vector<Seen> seen;

 private:
  void Look() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible() || box == last_.data() || acts_.empty()) return;
    last_ = box;
    Seen s;
    s.text = box->text();
    s.detail = box->informativeText();
    for (QAbstractButton* b : box->buttons()) s.buttons << b->text();
    s.buttons.sort();  // the style lays them out
    const auto* label = box->findChild<QLabel*>("qt_msgbox_informativelabel");
    s.plain = box->textFormat() == Qt::PlainText && label && label->textFormat() == Qt::PlainText;
    seen.push_back(s);
    Act act = std::move(acts_.front());
    acts_.pop_front();
    act(box);
  }
  std::deque<Act> acts_;
  QPointer<QMessageBox> last_;
  QTimer poll_;
};

Act Press(const char* caption) {
  return [caption](QMessageBox* box) {
    for (QAbstractButton* b : box->buttons())
      if (b->text() == caption) return b->click();
    ADD_FAILURE() << "no button " << caption;
    box->reject();
  };
}
Act Key(Qt::Key key) {
  return [key](QMessageBox* box) { QTest::keyClick(box, key); };
}

// A folder where content.tmp must go makes every save fail until it is
// gone. The box says why, and lets the user try again, close without
// saving or keep the window (Enter and Esc alike).
TEST_F(CloseTest, AfterAFailedSaveTheCloseAsksWhatToDo) {
  ASSERT_TRUE(qEnvironmentVariableIsEmpty("ZELTO_AUTO_ANSWER"));
  const Act mend = [this](QMessageBox* box) {
    fs::remove(folder / "content.tmp");
    Press("Try Again")(box);
  };
  const struct {
    const char* what;
    std::deque<Act> acts;
    bool closes;
    bool saved;
  } cases[] = {
      {"Esc", {Key(Qt::Key_Escape)}, false, false},
      {"Enter", {Key(Qt::Key_Return)}, false, false},
      {"Close Without Saving", {Press("Close Without Saving")}, true, false},
      {"Try Again, once the cause is gone", {mend}, true, true},
      {"Try Again in vain, then keep", {Press("Try Again"), Key(Qt::Key_Escape)}, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFileBytes(folder / "content.txt", "*****\r\n*** end\r\n");
    Start();
    const auto inode = [&] { return StatStamp(folder / "content.txt").inode; };
    const auto old = inode();  // a save puts a new file in its place
    fs::remove(folder / "content.tmp");
    fs::create_directory(folder / "content.tmp");
    Answerer answerer(c.acts);
    EXPECT_EQ(form->close(), c.closes);
    ASSERT_EQ(answerer.seen.size(), c.acts.size());
    for (const Seen& s : answerer.seen) {
      EXPECT_EQ(s.text, "Error saving file!");
      EXPECT_EQ(s.detail,
                QString::fromStdString((folder / "content.tmp").string()) + ": Is a directory");
      EXPECT_EQ(s.buttons, (QStringList{"Close Without Saving", "Keep Open", "Try Again"}));
      EXPECT_TRUE(s.plain);
    }
    EXPECT_EQ(form->isVisible(), !c.closes);
    EXPECT_EQ(inode() != old, c.saved);
  }
}

// The saves that nobody asked for at that moment, the session manager's and
// the one at a signal or the session's end, say on the real box why they
// failed.
TEST_F(CloseTest, ASaveAtTheSessionsEndSaysWhyItFailed) {
  const std::pair<const char*, void (Lifecycle::*)()> saves[] = {
      {"log-off", &Lifecycle::CommitData}, {"session end", &Lifecycle::EndSession}};
  for (const auto& [what, save] : saves) {
    SCOPED_TRACE(what);
    Start();
    fs::create_directory(folder / "position.txt");
    Answerer answerer({Press("OK")});
    (form->Life().*save)();
    ASSERT_EQ(answerer.seen.size(), 1u);
    EXPECT_EQ(answerer.seen[0].text, "Error saving file!");
    EXPECT_EQ(answerer.seen[0].detail,
              QString::fromStdString((folder / "position.txt").string()) + ": Is a directory");
    EXPECT_TRUE(answerer.seen[0].plain);
    EXPECT_NE(ReadFileBytes(folder / "content.txt"), "*****\r\n*** end\r\n")
        << "the tasks are written all the same";
    fs::remove(folder / "position.txt");
    fs::remove(folder / "content.txt");
    WriteFileBytes(folder / "content.txt", "*****\r\n*** end\r\n");
  }
}

// At a log-off the session manager asks for the data, then the program
// quits: with DataFileError set the question comes once, and its answer
// holds for both saves. A log-off called off and a close later asks anew.
TEST_F(CloseTest, LogOffAsksOnce) {
  const struct {
    Answer answer;
    bool written;
  } cases[] = {{Answer::Yes, true}, {Answer::No, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.answer));
    fs::remove(folder / "content.txt");
    Start();
    ASSERT_EQ(form->Life().DataFileError, 1);
    MessageBoxes::ClearAsked();
    MessageBoxes::SetNextAnswer(c.answer);
    MessageBoxes::SetNextAnswer(Answer::Yes);  // a second question would take this
    form->Life().CommitData();
    form->Life().EndSession();
    EXPECT_EQ(MessageBoxes::Asked().size(), 1u);
    EXPECT_TRUE(MessageBoxes::HasScriptedAnswers()) << "asked twice";
    MessageBoxes::ClearScript();
    EXPECT_EQ(fs::exists(folder / "content.txt"), c.written);
  }

  fs::remove(folder / "content.txt");
  Start();
  MessageBoxes::ClearAsked();
  MessageBoxes::SetNextAnswer(Answer::No);
  form->Life().CommitData();
  MessageBoxes::SetNextAnswer(Answer::Yes);
  EXPECT_TRUE(form->close());
  ASSERT_EQ(MessageBoxes::Asked().size(), 2u);
  EXPECT_EQ(MessageBoxes::Asked()[1].text, kQuestion);
  EXPECT_TRUE(fs::exists(folder / "content.txt"));
}

}  // namespace
}  // namespace zelto::test
