#include "platform/programfolder.h"

#include <QCoreApplication>
#include <QFile>
#include <system_error>

namespace zelto {

std::filesystem::path ProgramFolder() {
  // To the system a folder name is bytes. Qt reads the executable's path
  // as UTF-8 and turns any other byte into a replacement character, which
  // names a folder that does not exist; the kernel's own link keeps the
  // bytes as they are.
  std::error_code error;
  const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error && executable.is_absolute()) return executable.parent_path();
  return std::filesystem::path(
      QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString());
}

}  // namespace zelto
