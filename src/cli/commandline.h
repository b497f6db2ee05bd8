#pragma once

#include <filesystem>
#include <optional>

#include "store/ports.h"

namespace zelto {

// The command line: when the arguments ask for a command (the first one
// starts with "--" or is not an option at all), runs it and returns the
// exit code; otherwise returns nothing and the window starts. Arguments
// that begin with a single "-" are the window toolkit's own (-session,
// -platform, ...).
//
// The commands read the data file of `folder` and compute as start-up
// does, then print to the standard output and error; they never write,
// lock or change a file there.
std::optional<int> RunCommandLine(int argc, const char* const* argv,
                                  const std::filesystem::path& folder, const Clock& clock);

}  // namespace zelto
