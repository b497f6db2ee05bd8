#include "mainwindow/placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>

#include "store/convert.h"

namespace zelto {

void Placement::Record(const QRect& outerPixels, double twipsPerPixel) {
  const auto store = [twipsPerPixel](int16_t& target, int pixels) {
    if (const auto value = RoundToInt16(pixels * twipsPerPixel)) target = *value;
  };
  store(WindowLeft, outerPixels.x());
  store(WindowTop, outerPixels.y());
  store(WindowWidth, outerPixels.width());
  store(WindowHeight, outerPixels.height());
}

int16_t WindowStateNumber(Qt::WindowStates states) {
  if (states & Qt::WindowMinimized) return 1;
  if (states & (Qt::WindowMaximized | Qt::WindowFullScreen)) return 2;
  return 0;
}

QSizeF PrimaryScreenTwips(double twipsPerPixel) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return {};
  return QSizeF(screen->geometry().size()) * twipsPerPixel;
}

}  // namespace zelto
