#pragma once

#include <QIcon>
#include <QString>

class QWidget;

namespace zelto {

// A picture of the program's resources by name ("new", "asc", ...), with
// its double-resolution variant for high-density screens.
QIcon Picture(const QString& name);

// The application icon, also the notification-area image.
QIcon AppIcon();

// The windows are laid out in fixed positions for an 8-point font, with
// frame captions drawn on the frame's top line. For `widget` and the
// controls it holds, once they exist: a whole window, or only its frame.
void UseDesignLook(QWidget* widget);
// Only the font, for a window whose controls are yet to be made: they are
// then measured in that font from the start, and the desktop's normal face
// is not loaded for a first layout that the design font replaces.
void UseDesignFont(QWidget* window);

}  // namespace zelto
