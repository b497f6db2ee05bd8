#include <QToolButton>
#include <algorithm>
#include <filesystem>
#include <optional>
#include <vector>

#include "form1_fixture.h"

namespace zelto::test {
namespace {

constexpr char kQuestion[] =
    "There was an error opening the data file... Do you really want to save this data?";
constexpr char kFailure[] = "Error saving file!";

// The pass buttons as each step of a save's writing finds them.
Form1* gForm = nullptr;
std::vector<bool> gButtonsAtWrite;

void RecordButtons(SaveStep) {
  bool anyOn = false;
  for (const char* name : {"Command1", "Command3", "Command7"})
    anyOn = anyOn || gForm->findChild<QToolButton*>(name)->isEnabled();
  gButtonsAtWrite.push_back(anyOn);
}

// "Refresh list & Save": after a failed start-up read it writes only on Yes;
// the pass buttons are off while the files are written; a failed write is
// reported once, naming the file and the reason. Only a failure of the
// data files leaves content.txt alone.
TEST_F(Form1Test, RefreshAndSaveAsksWritesAndReports) {
  const struct {
    const char* what;
    bool dataFileError;
    std::optional<Answer> answer;
    const char* blocked;  // a folder stands where this file goes
    std::vector<QString> asked;
    bool written;
  } cases[] = {
      {"plain save", false, {}, nullptr, {}, true},
      {"No", true, Answer::No, nullptr, {kQuestion}, false},
      {"Yes", true, Answer::Yes, nullptr, {kQuestion}, true},
      {"failure", false, {}, "content.tmp", {kFailure}, false},
      {"Yes, then failure", true, Answer::Yes, "content.tmp", {kQuestion, kFailure}, false},
      {"position.txt fails", false, {}, "position.txt", {kFailure}, true},
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
    if (c.blocked) std::filesystem::create_directory(place / c.blocked);
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
      EXPECT_EQ(question.detail,
                failure ? QString::fromStdString((place / c.blocked).string()) + ": Is a directory"
                        : QString());
    }
    EXPECT_EQ(ReadFileBytes(place / "content.txt") != "old", c.written);
    const bool wrote = c.written || c.blocked;
    EXPECT_EQ(!gButtonsAtWrite.empty(), wrote);
    EXPECT_EQ(std::ranges::count(gButtonsAtWrite, true), 0) << "buttons on while writing";
    for (const char* name : {"Command1", "Command3", "Command7"})
      EXPECT_TRUE(Find(name)->isEnabled()) << name;
  }
  SetSaveStepHookForTesting(nullptr);
  form.reset();
}

}  // namespace
}  // namespace zelto::test
