#pragma once

#include <QString>
#include <optional>

#include "store/ports.h"

namespace zelto {

// For the end-to-end tests only, which run the real program without anyone
// to press a button. When the environment variable ZELTO_AUTO_ANSWER is set,
// no message box is shown: each question takes the next answer of that
// comma-separated list ("ok", "yes", "no", "cancel"), or the box's default
// once the list is used up, and is logged to stderr as one line
//   zelto-message<TAB>title<TAB>text<TAB>answer
// Without the variable this does nothing.
std::optional<Answer> AutoAnswer(const QString& text, const QString& title, Buttons buttons,
                                 Answer defaultAnswer);

}  // namespace zelto
