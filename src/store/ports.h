#pragma once

#include <string_view>

#include "store/datetime.h"

// What the core needs from the world outside it. The platform layer
// implements these; tests supply fakes.
namespace zelto {

// The local wall clock, as a naive date-time.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual DateTime Now() const = 0;
};

enum class Buttons { Ok, YesNo, YesNoCancel };
enum class Answer { Ok, Yes, No, Cancel };

// Modal message boxes without an icon. Texts are the program's bytes (task
// text included); the implementation decodes them for display.
class Prompter {
 public:
  virtual ~Prompter() = default;
  virtual Answer Ask(std::string_view text, std::string_view title, Buttons buttons) = 0;
};

inline constexpr std::string_view kAppTitle = "Zelto Todo List";

}  // namespace zelto
