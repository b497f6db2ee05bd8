#include "platform/messagebox.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include "platform/autoanswer.h"
#include "platform/textcodec.h"

namespace zelto {

std::deque<Answer> MessageBoxes::script_;
std::vector<MessageBoxes::Question> MessageBoxes::asked_;

namespace {

QMessageBox::StandardButton ToButton(Answer answer) {
  switch (answer) {
    case Answer::Ok:
      return QMessageBox::Ok;
    case Answer::Yes:
      return QMessageBox::Yes;
    case Answer::No:
      return QMessageBox::No;
    case Answer::Cancel:
      return QMessageBox::Cancel;
  }
  return QMessageBox::Ok;
}

Answer FromButton(int button) {
  switch (button) {
    case QMessageBox::Yes:
      return Answer::Yes;
    case QMessageBox::No:
      return Answer::No;
    case QMessageBox::Cancel:
      return Answer::Cancel;
    default:
      return Answer::Ok;
  }
}

}  // namespace

Answer MessageBoxes::Ask(std::string_view text, std::string_view title, Buttons buttons) {
  return Ask(DecodeText(text), DecodeText(title), buttons);
}

namespace {

// The detail names a file, and a folder's name may look like markup.
void SetPlainDetail(QMessageBox& box, const QString& detail) {
  box.setInformativeText(detail);
  if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
    label->setTextFormat(Qt::PlainText);
}

}  // namespace

Answer MessageBoxes::Ask(const QString& text, const QString& title, Buttons buttons,
                         std::optional<Answer> defaultAnswer, const QString& detail) {
  const Answer fallback = buttons == Buttons::Ok ? Answer::Ok : Answer::Yes;
  const Answer def = defaultAnswer.value_or(fallback);
  asked_.push_back({text, title, buttons, def, detail});
  if (!script_.empty()) {
    const Answer answer = script_.front();
    script_.pop_front();
    return answer;
  }
  if (const auto answer = AutoAnswer(detail.isEmpty() ? text : text + QLatin1Char('\n') + detail,
                                     title, buttons, def))
    return *answer;

  QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::NoButton, parent_);
  // Texts carry task text, which is the user's own bytes: left to guess, the
  // label would take "<img src=...>" in it for markup and load that file.
  box.setTextFormat(Qt::PlainText);
  if (!detail.isEmpty()) SetPlainDetail(box, detail);
  switch (buttons) {
    case Buttons::Ok:
      box.setStandardButtons(QMessageBox::Ok);
      break;
    case Buttons::YesNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setEscapeButton(QMessageBox::No);
      break;
    case Buttons::YesNoCancel:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      break;
  }
  box.setDefaultButton(ToButton(def));
  const int result = box.exec();
  if (buttons == Buttons::Ok) return Answer::Ok;
  // Closing the box by its frame counts as the safest answer.
  if (result != QMessageBox::Yes && result != QMessageBox::No && result != QMessageBox::Cancel)
    return buttons == Buttons::YesNo ? Answer::No : Answer::Cancel;
  return FromButton(result);
}

Answer MessageBoxes::AskAfterFailedSave(const QString& text, const QString& title,
                                        const QString& detail) {
  asked_.push_back({text, title, Buttons::YesNoCancel, Answer::Cancel, detail});
  if (!script_.empty()) {
    const Answer answer = script_.front();
    script_.pop_front();
    return answer;
  }
  if (const auto answer = AutoAnswer(text + QLatin1Char('\n') + detail, title, Buttons::YesNoCancel,
                                     Answer::Cancel))
    return *answer;

  QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::NoButton, parent_);
  box.setTextFormat(Qt::PlainText);
  SetPlainDetail(box, detail);
  QPushButton* retry = box.addButton(QStringLiteral("Try Again"), QMessageBox::AcceptRole);
  QPushButton* discard =
      box.addButton(QStringLiteral("Close Without Saving"), QMessageBox::DestructiveRole);
  // Keeping the window loses nothing: Enter and Esc both do that.
  QPushButton* keep = box.addButton(QStringLiteral("Keep Open"), QMessageBox::RejectRole);
  box.setDefaultButton(keep);
  box.setEscapeButton(keep);
  box.exec();
  if (box.clickedButton() == retry) return Answer::Yes;
  if (box.clickedButton() == discard) return Answer::No;
  return Answer::Cancel;
}

Answer MessageBoxes::Choose(const QString& text, const QString& title, const QStringList& labels,
                            Answer safest) {
  const Buttons buttons = labels.size() > 2 ? Buttons::YesNoCancel : Buttons::YesNo;
  asked_.push_back({text, title, buttons, safest, {}});
  if (!script_.empty()) {
    const Answer answer = script_.front();
    script_.pop_front();
    return answer;
  }
  if (const auto answer = AutoAnswer(text, title, buttons, safest)) return *answer;

  QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::NoButton, parent_);
  box.setTextFormat(Qt::PlainText);
  const Answer answers[] = {Answer::Yes, Answer::No, Answer::Cancel};
  std::vector<std::pair<QPushButton*, Answer>> pressed;
  for (qsizetype i = 0; i < labels.size() && i < 3; ++i) {
    QPushButton* button = box.addButton(labels[i], QMessageBox::ActionRole);
    pressed.emplace_back(button, answers[i]);
    if (answers[i] == safest) {
      box.setDefaultButton(button);
      box.setEscapeButton(button);
    }
  }
  box.exec();
  for (const auto& [button, answer] : pressed)
    if (box.clickedButton() == button) return answer;
  return safest;
}

void MessageBoxes::SetNextAnswer(Answer answer) {
  script_.push_back(answer);
}
void MessageBoxes::ClearScript() {
  script_.clear();
}
bool MessageBoxes::HasScriptedAnswers() {
  return !script_.empty();
}
const std::vector<MessageBoxes::Question>& MessageBoxes::Asked() {
  return asked_;
}
void MessageBoxes::ClearAsked() {
  asked_.clear();
}

}  // namespace zelto
