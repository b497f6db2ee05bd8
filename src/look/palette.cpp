#include "look/palette.h"

#include <cmath>

namespace zelto {
namespace {

double Luminance(const QColor& colour) {
  const auto linear = [](double c) {
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  };
  const QColor rgb = colour.toRgb();
  return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) + 0.0722 * linear(rgb.blueF());
}

QColor Blend(const QColor& under, const QColor& over, double share) {
  const QColor a = under.toRgb(), b = over.toRgb();
  const auto mix = [share](double x, double y) { return x + (y - x) * share; };
  return QColor::fromRgbF(static_cast<float>(mix(a.redF(), b.redF())),
                          static_cast<float>(mix(a.greenF(), b.greenF())),
                          static_cast<float>(mix(a.blueF(), b.blueF())));
}

constexpr double kReadable = 4.5;

// The text colour for `background`: the palette's own if it reads well
// enough, else black or white, whichever reads better.
QColor ReadableText(const QColor& text, const QColor& background) {
  if (ContrastRatio(text, background) >= kReadable) return text;
  return ContrastRatio(Qt::black, background) >= ContrastRatio(Qt::white, background)
             ? QColor(Qt::black)
             : QColor(Qt::white);
}

}  // namespace

double ContrastRatio(const QColor& a, const QColor& b) {
  double la = Luminance(a), lb = Luminance(b);
  if (la < lb) std::swap(la, lb);
  return (la + 0.05) / (lb + 0.05);
}

bool IsDarkPalette(const QPalette& palette) {
  return palette.color(QPalette::Window).lightnessF() <
         palette.color(QPalette::WindowText).lightnessF();
}

WindowColours MainWindowColours(const QPalette& desktop) {
  WindowColours colours{desktop, desktop};
  if (!IsDarkPalette(desktop)) {
    colours.window.setColor(QPalette::Window, Qt::white);
    colours.options = colours.window;
    colours.options.setColor(QPalette::Window, QColor(0xFF, 0xFF, 0xC0));
    return colours;
  }
  const QColor window = desktop.color(QPalette::Window);
  const QColor text = desktop.color(QPalette::WindowText);
  // Set explicitly, so that they replace the light colours set before.
  colours.window.setColor(QPalette::Window, window);
  colours.window.setColor(QPalette::WindowText, ReadableText(text, window));
  // As much of the highlight as keeps the palette's text readable.
  QColor tint = window;
  for (double share = 0.35; share > 0; share -= 0.05) {
    const QColor candidate = Blend(window, desktop.color(QPalette::Highlight), share);
    if (ContrastRatio(text, candidate) >= kReadable) {
      tint = candidate;
      break;
    }
  }
  colours.options.setColor(QPalette::Window, tint);
  colours.options.setColor(QPalette::WindowText, ReadableText(text, tint));
  return colours;
}

}  // namespace zelto
