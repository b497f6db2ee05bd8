#pragma once

#include <QIcon>
#include <QRect>
#include <QString>

namespace zelto {

// A picture of the program's resources by name ("new", "asc", ...), with
// its double-resolution variant for high-density screens.
QIcon Picture(const QString& name);

// The application icon, also the notification-area image.
QIcon AppIcon();

}  // namespace zelto

class QWidget;
namespace zelto {
// The windows are laid out in fixed positions for an 8-point font, with
// frame captions drawn on the frame's top line. Call once the window's
// controls exist.
void UseDesignLook(QWidget* window);

// Both windows are designed in twips, 15 to a pixel at 96 dpi.
inline constexpr int kDesignTwipsPerPixel = 15;
constexpr int DesignPixels(int twips) {
  return (twips + kDesignTwipsPerPixel / 2) / kDesignTwipsPerPixel;
}
inline QRect TwipsRect(int left, int top, int width, int height) {
  return QRect(DesignPixels(left), DesignPixels(top), DesignPixels(width), DesignPixels(height));
}
}  // namespace zelto
