#pragma once

#include <filesystem>
#include <string_view>

namespace zelto {

// The folder that holds the executable. Needs a QCoreApplication.
std::filesystem::path ProgramFolder();

// Where the three files and the lock are kept. A copy run from its own folder
// (the build folder, a copied folder, a stick) keeps them beside the
// executable, so each copy is a separate installation. An installed copy
// cannot write there; it keeps them in $XDG_DATA_HOME/<appId>, made on first
// use. The install alone puts the file `installed` into the folder that
// `dataFromBin` (the install's data folder, relative to its folder for
// executables) names from the executable's folder: only that marks one.
// Paths are the system's bytes. With `make` false nothing is created: the
// command line reads, and never writes, where the window keeps its files.
std::filesystem::path DataFolder(std::string_view appId, std::string_view dataFromBin,
                                 bool make = true);

}  // namespace zelto
