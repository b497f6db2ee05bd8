#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <optional>
#include <vector>

#include "store/ports.h"

class QWidget;

namespace zelto {

// Every message box of the program goes through here: modal, no icon.
// Tests queue canned answers with SetNextAnswer; while answers are queued no
// dialog is shown, so no test ever blocks on a modal exec(). Each question
// is recorded either way.
class MessageBoxes : public Prompter {
 public:
  struct Question {
    QString text;
    QString title;
    Buttons buttons;
    Answer defaultAnswer;
    QString detail;  // the smaller text below, where there is one
  };

  explicit MessageBoxes(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }

  Answer Ask(std::string_view text, std::string_view title, Buttons buttons) override;
  // `detail`, where given, is the smaller text below the message (the
  // reason for a failure, say), shown as plain text.
  Answer Ask(const QString& text, const QString& title, Buttons buttons,
             std::optional<Answer> defaultAnswer = std::nullopt, const QString& detail = {});

  // After a failed save at the user's own close, with `detail` saying why:
  // Yes is "Try Again", No "Close Without Saving", and Cancel "Keep Open",
  // which is also the answer to Esc and to the box's own close button.
  Answer AskAfterFailedSave(const QString& text, const QString& title, const QString& detail);

  // A choice between two or three buttons named `labels`, answered as Yes,
  // No and Cancel in that order. `safest` is the default, and the answer to
  // Esc and to the box's own close button.
  Answer Choose(const QString& text, const QString& title, const QStringList& labels,
                Answer safest);

  // Test scripting, shared by every instance.
  static void SetNextAnswer(Answer answer);
  static void ClearScript();
  static bool HasScriptedAnswers();
  static const std::vector<Question>& Asked();
  static void ClearAsked();

 private:
  QWidget* parent_;
  static std::deque<Answer> script_;
  static std::vector<Question> asked_;
};

}  // namespace zelto
