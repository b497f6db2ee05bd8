#pragma once

#include <string>
#include <string_view>

#include "store/datetime.h"

// What the core needs from the world outside it. The platform layer and the
// main window implement these; tests supply fakes.
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

// The main window's side of the core's whole-table passes and the save.
class WindowHooks {
 public:
  virtual ~WindowHooks() = default;
  // Switches "Refresh list & Save", "Re-count" and "Recalculate All" off or on,
  // in that order.
  virtual void SetPassButtonsEnabled(bool enabled) = 0;
  // True while the main window is minimised, hidden in the tray included.
  virtual bool IsMinimized() const = 0;
  // The three CR LF terminated lines of position.txt.
  virtual std::string PositionFileText() const = 0;
};

// Hooks for a core used without a window (tests, tools).
class NullWindowHooks : public WindowHooks {
 public:
  void SetPassButtonsEnabled(bool) override {}
  bool IsMinimized() const override { return false; }
  std::string PositionFileText() const override { return {}; }
};

}  // namespace zelto
