#pragma once

#include <QRect>
#include <Qt>
#include <cstdint>

class QWidget;

namespace zelto {

// The main window's last placement while not minimised, in twips, and the
// state to come back to from the notification area.
struct Placement {
  int16_t WindowLeft = 0;
  int16_t WindowTop = 0;
  int16_t WindowWidth = 0;
  int16_t WindowHeight = 0;
  int16_t RestoreWindowState = 0;  // 0 normal, 2 maximised

  // Records an outer rectangle given in pixels. Each value is rounded with
  // halves to even; one that does not fit in 16 bits keeps its old value.
  void Record(const QRect& outerPixels, double twipsPerPixel);
};

// Window states as the position file keeps them: 0 normal, 1 minimised,
// 2 maximised (minimised wins when both flags are set).
int16_t WindowStateNumber(Qt::WindowStates states);

// The primary screen's size in twips.
QSizeF PrimaryScreenTwips(double twipsPerPixel);

}  // namespace zelto
