#include "platform/autoanswer.h"

#include <QStringList>
#include <cstdio>

namespace zelto {
namespace {

const char* Name(Answer answer) {
  switch (answer) {
    case Answer::Ok:
      return "ok";
    case Answer::Yes:
      return "yes";
    case Answer::No:
      return "no";
    case Answer::Cancel:
      return "cancel";
  }
  return "ok";
}

bool Allowed(Answer answer, Buttons buttons) {
  switch (buttons) {
    case Buttons::Ok:
      return answer == Answer::Ok;
    case Buttons::YesNo:
      return answer == Answer::Yes || answer == Answer::No;
    case Buttons::YesNoCancel:
      return answer != Answer::Ok;
  }
  return false;
}

}  // namespace

std::optional<Answer> AutoAnswer(const QString& text, const QString& title, Buttons buttons,
                                 Answer defaultAnswer) {
  static const bool enabled = qEnvironmentVariableIsSet("ZELTO_AUTO_ANSWER");
  if (!enabled) return std::nullopt;
  static QStringList script =
      qEnvironmentVariable("ZELTO_AUTO_ANSWER").split(QLatin1Char(','), Qt::SkipEmptyParts);

  Answer answer = defaultAnswer;
  if (!script.isEmpty()) {
    const QString next = script.takeFirst().trimmed().toLower();
    for (Answer candidate : {Answer::Ok, Answer::Yes, Answer::No, Answer::Cancel})
      if (next == QLatin1String(Name(candidate))) answer = candidate;
  }
  if (!Allowed(answer, buttons)) answer = defaultAnswer;

  QString flat = text;
  flat.replace(QLatin1Char('\n'), QLatin1String("\\n"));
  std::fprintf(stderr, "zelto-message\t%s\t%s\t%s\n", title.toUtf8().constData(),
               flat.toUtf8().constData(), Name(answer));
  std::fflush(stderr);
  return answer;
}

}  // namespace zelto
