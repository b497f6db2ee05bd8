#pragma once

#include <QColor>
#include <QPalette>

namespace zelto {

// The contrast ratio of two colours, 1 to 21, as the accessibility
// guidelines define it (relative luminance, sRGB).
double ContrastRatio(const QColor& a, const QColor& b);

// A desktop palette is dark when its window is darker than its text.
bool IsDarkPalette(const QPalette& palette);

// The main window's look: white behind everything and pale yellow behind
// the view switch on a light desktop; on a dark one the desktop's window
// colour, and for the view switch its highlight blended in, kept readable.
struct WindowColours {
  QPalette window;
  QPalette options;
};
WindowColours MainWindowColours(const QPalette& desktop);

}  // namespace zelto
