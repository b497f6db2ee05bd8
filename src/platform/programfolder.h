#pragma once

#include <filesystem>

namespace zelto {

// The folder that holds the executable: the program keeps its three files
// there, so a copy of the executable in another folder is a separate
// installation. Needs a QCoreApplication.
std::filesystem::path ProgramFolder();

}  // namespace zelto
