#include "platform/programfolder.h"

#include <QCoreApplication>

namespace zelto {

std::filesystem::path ProgramFolder() {
  return std::filesystem::path(QCoreApplication::applicationDirPath().toStdString());
}

}  // namespace zelto
