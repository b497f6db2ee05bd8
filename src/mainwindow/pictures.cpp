#include "mainwindow/pictures.h"

#include <QFont>
#include <QWidget>

// The pictures are compiled into a static library, so nothing would pull
// their resource object into the program: register it by hand, once.
static void RegisterPictures() {
  static const bool registered = [] {
    Q_INIT_RESOURCE(pictures);
    return true;
  }();
  (void)registered;
}

namespace zelto {

QIcon Picture(const QString& name) {
  RegisterPictures();
  // QIcon finds the "@2x" file beside the named one by itself.
  return QIcon(":/pictures/" + name + ".png");
}

QIcon AppIcon() {
  RegisterPictures();
  QIcon icon;
  for (int size : {16, 32, 64, 128}) icon.addFile(QString(":/pictures/app%1.png").arg(size));
  return icon;
}

void UseDesignFont(QWidget* window) {
  QFont font = window->font();
  font.setPointSizeF(8);
  // The positions leave room for a narrow face; most desktops have a
  // condensed cut of their sans font, and fall back to the normal one.
  font.setStretch(QFont::SemiCondensed);
  window->setFont(font);
}

}  // namespace zelto
