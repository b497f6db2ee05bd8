#include "platform/programfolder.h"

#include <pwd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <cstdlib>
#include <system_error>

namespace zelto {
namespace {

namespace fs = std::filesystem;

// $XDG_DATA_HOME where it is an absolute path, as the desktop's rules ask;
// else ~/.local/share.
fs::path DataHome() {
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  if (dataHome && fs::path(dataHome).is_absolute()) return dataHome;
  const char* home = std::getenv("HOME");
  if (!home || !*home) {
    const passwd* user = ::getpwuid(::getuid());
    home = user && user->pw_dir ? user->pw_dir : "/";
  }
  return fs::path(home) / ".local" / "share";
}

}  // namespace

fs::path ProgramFolder() {
  // To the system a folder name is bytes. Qt reads the executable's path
  // as UTF-8 and turns any other byte into a replacement character, which
  // names a folder that does not exist; the kernel's own link keeps the
  // bytes as they are.
  std::error_code error;
  const fs::path executable = fs::read_symlink("/proc/self/exe", error);
  if (!error && executable.is_absolute()) return executable.parent_path();
  return fs::path(QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString());
}

fs::path DataFolder(std::string_view appId, std::string_view dataFromBin, bool make) {
  const fs::path program = ProgramFolder();
  std::error_code error;
  // A file, not a folder name or a setting: nothing but the install makes
  // it, so a build or a copied folder never takes itself for installed.
  if (!fs::is_regular_file(program / dataFromBin / appId / "installed", error)) return program;
  const fs::path folder = DataHome() / appId;
  // With the user's umask; a failure shows as the lock's and the save's.
  if (make) fs::create_directories(folder, error);
  return folder;
}

}  // namespace zelto
