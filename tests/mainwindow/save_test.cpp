#include <QToolButton>
#include <filesystem>
#include <optional>
#include <vector>

#include "form1_fixture.h"

namespace zelto::test {
namespace {

constexpr char kQuestion[] =
    "There was an error opening the data file... Do you really want to save this data?";
constexpr char kFailure[] = "Error saving file!";

// The pass buttons as the write of position.txt finds them.
Form1* gForm = nullptr;
std::vector<bool> gButtonsAtWrite;

void RecordButtons(SaveStep step) {
  if (step != SaveStep::PositionWritten) return;
  bool anyOn = false;
  for (const char* name : {"Command1", "Command3", "Command7"})
    anyOn = anyOn || gForm->findChild<QToolButton*>(name)->isEnabled();
  gButtonsAtWrite.push_back(anyOn);
}

// "Refresh list & Save": after a failed start-up read it asks first and
// writes only on Yes; the pass buttons are off while the files are written
// and on again afterwards; a failed write is reported once, after the
// question, and leaves content.txt alone.
TEST_F(Form1Test, RefreshAndSaveAsksWritesAndReports) {
  const struct {
    const char* what;
    bool dataFileError;
    std::optional<Answer> answer;
    bool blocked;  // a folder stands where content.tmp goes
    std::vector<QString> asked;
    bool written;
  } cases[] = {
      {"plain save", false, {}, false, {}, true},
      {"No", true, Answer::No, false, {kQuestion}, false},
      {"Yes", true, Answer::Yes, false, {kQuestion}, true},
      {"failure", false, {}, true, {kFailure}, false},
      {"Yes, then failure", true, Answer::Yes, true, {kQuestion, kFailure}, false},
  };
  AddTask(3, "Water the plants");
  gForm = form.get();
  SetSaveStepHookForTesting(RecordButtons);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder place;
    form = std::make_unique<Form1>(*table, clock, prompter, place.path());
    gForm = form.get();
    form->show();
    WriteFileBytes(place / "content.txt", "old");
    if (c.blocked) std::filesystem::create_directory(place / "content.tmp");
    form->Life().DataFileError = c.dataFileError ? 1 : 0;
    if (c.answer) MessageBoxes::SetNextAnswer(*c.answer);
    if (c.blocked) MessageBoxes::SetNextAnswer(Answer::Ok);
    MessageBoxes::ClearAsked();
    gButtonsAtWrite.clear();

    Click(Find("Command1"));
    std::vector<QString> asked;
    for (const auto& question : MessageBoxes::Asked()) asked.push_back(question.text);
    EXPECT_EQ(asked, c.asked);
    for (const auto& question : MessageBoxes::Asked()) {
      const bool failure = question.text == kFailure;
      EXPECT_EQ(question.title, failure ? "Zelto Todo List" : "Zelto Todo List save data");
      EXPECT_EQ(question.buttons, failure ? Buttons::Ok : Buttons::YesNoCancel);
    }
    EXPECT_EQ(ReadFileBytes(place / "content.txt") != "old", c.written);
    const bool wrote = c.written || c.blocked;  // position.txt comes first
    EXPECT_EQ(gButtonsAtWrite, wrote ? std::vector<bool>{false} : std::vector<bool>{});
    for (const char* name : {"Command1", "Command3", "Command7"})
      EXPECT_TRUE(Find(name)->isEnabled()) << name;
  }
  SetSaveStepHookForTesting(nullptr);
  form.reset();
}

}  // namespace
}  // namespace zelto::test
