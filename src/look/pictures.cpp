#include "look/pictures.h"

#include <QFont>
#include <QImage>
#include <QImageReader>
#include <QPixmap>
#include <QWidget>
#include <utility>

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
namespace {

// A picture of the resources, read as what it is: left to find the format
// itself, the reader loads every image format plugin there is to ask each
// whether it knows the file, before it tries its own PNG reader.
void AddPng(QIcon& icon, const QString& path) {
  QImageReader reader(path, "png");
  reader.setAutoDetectImageFormat(false);
  QImage image;
  if (reader.read(&image)) icon.addPixmap(QPixmap::fromImage(std::move(image)));
}

}  // namespace

QIcon Picture(const QString& name) {
  RegisterPictures();
  // Both sizes by hand: QIcon looks for the "@2x" file only when the
  // program starts on a high-density screen, not when a window moves to one.
  QIcon icon;
  AddPng(icon, ":/pictures/" + name + ".png");
  AddPng(icon, ":/pictures/" + name + "@2x.png");
  return icon;
}

QIcon AppIcon() {
  RegisterPictures();
  QIcon icon;
  for (int size : {16, 32, 64, 128}) AddPng(icon, QString(":/pictures/app%1.png").arg(size));
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

void UseDesignLook(QWidget* widget) {
  widget->setStyleSheet(
      "QGroupBox { border: 1px solid #c4c9cf; border-radius: 3px; margin-top: 6px; }"
      "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
      " left: 6px; padding: 0px 2px; }"
      "QCheckBox { spacing: 2px; }");
  // Set on every control: under a style sheet a widget's font no longer
  // reaches its children. Hence this runs once the controls exist.
  UseDesignFont(widget);
  const QFont font = widget->font();
  for (QWidget* child : widget->findChildren<QWidget*>()) child->setFont(font);
}

}  // namespace zelto
