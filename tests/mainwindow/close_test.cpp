// The user's own close when the save fails, answered on the real message
// box; and the log-off, which asks its question once.
#include <filesystem>

#include "form1_fixture.h"
#include "support/qt/answerer.h"

namespace zelto::test {
namespace {

namespace fs = std::filesystem;

constexpr char kQuestion[] =
    "There was an error opening the data file... Do you really want to save this data?";

// A folder where content.tmp must go makes every save fail until it is
// gone. The box says why, and lets the user try again, close without
// saving or keep the window (Enter and Esc alike).
TEST_F(Form1Test, AfterAFailedSaveTheCloseAsksWhatToDo) {
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
TEST_F(Form1Test, ASaveAtTheSessionsEndSaysWhyItFailed) {
  const std::pair<const char*, void (Lifecycle::*)()> saves[] = {
      {"log-off", &Lifecycle::CommitData}, {"session end", &Lifecycle::EndSession}};
  for (const auto& [what, save] : saves) {
    SCOPED_TRACE(what);
    WriteFileBytes(folder / "content.txt", "*****\r\n*** end\r\n");
    fs::remove_all(folder / "position.txt");
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
  }
}

// At a log-off the session manager asks for the data, then the program
// quits: with DataFileError set the question comes once, and its answer
// holds for both saves. A log-off called off and a close later asks anew.
TEST_F(Form1Test, LogOffAsksOnce) {
  const struct {
    Answer answer;
    bool calledOff;  // the log-off, and a close later
    size_t asked;
    bool written;
  } cases[] = {
      {Answer::Yes, false, 1, true}, {Answer::No, false, 1, false}, {Answer::No, true, 2, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << static_cast<int>(c.answer) << c.calledOff);
    fs::remove(folder / "content.txt");
    Start();
    ASSERT_EQ(form->Life().DataFileError, 1);
    MessageBoxes::ClearAsked();
    MessageBoxes::SetNextAnswer(c.answer);
    MessageBoxes::SetNextAnswer(Answer::Yes);  // a second question would take this
    form->Life().CommitData();
    if (c.calledOff)
      EXPECT_TRUE(form->close());
    else
      form->Life().EndSession();
    ASSERT_EQ(MessageBoxes::Asked().size(), c.asked);
    EXPECT_EQ(MessageBoxes::Asked().back().text, kQuestion);
    MessageBoxes::ClearScript();
    EXPECT_EQ(fs::exists(folder / "content.txt"), c.written);
  }
}

}  // namespace
}  // namespace zelto::test
