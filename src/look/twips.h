#pragma once

#include <QRect>
#include <cmath>

namespace zelto {

// Both windows are designed in twips, 15 to a pixel at 96 dpi.
inline constexpr int kDesignTwipsPerPixel = 15;

// A design length (whole, not negative) in pixels.
constexpr int DesignPixels(int twips) {
  return (twips + kDesignTwipsPerPixel / 2) / kDesignTwipsPerPixel;
}

inline QRect TwipsRect(int left, int top, int width, int height) {
  return QRect(DesignPixels(left), DesignPixels(top), DesignPixels(width), DesignPixels(height));
}

// Any length in twips (from position.txt, say) as whole pixels, halves to
// even. For the design's whole lengths it agrees with DesignPixels.
inline int TwipsToPixels(double twips, double twipsPerPixel = kDesignTwipsPerPixel) {
  return static_cast<int>(std::nearbyint(twips / twipsPerPixel));
}

}  // namespace zelto
