#include "mainwindow/placement.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cmath>

#include "look/twips.h"
#include "mainwindow/positionfile.h"
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

QSize AvailableScreenSize() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? screen->availableGeometry().size() : QSize();
}

}  // namespace zelto

namespace zelto {

void PlacementTracker::Apply(const PositionItems& items, QWidget& window, QHeaderView& header,
                             QSize largest) {
  // The window system takes no window or column beyond 32767 pixels: a
  // larger value from a damaged file is refused and the item skipped.
  const auto fits = [](double twips) { return std::abs(twips / kDesignTwipsPerPixel) <= 32767.0; };
  if (items.Move && fits(items.Move->Left) && fits(items.Move->Top) && fits(items.Move->Width) &&
      fits(items.Move->Height)) {
    QRect outer(TwipsToPixels(items.Move->Left), TwipsToPixels(items.Move->Top),
                TwipsToPixels(items.Move->Width), TwipsToPixels(items.Move->Height));
    // A window larger than the screen shows nothing more, but its buffers
    // cost memory for every pixel: 4 GB at 32767 x 32767.
    outer.setSize(outer.size().boundedTo(largest));
    // The frame is not known before the window is shown: the rectangle is
    // put right once it is (CorrectStartSize).
    window.setGeometry(outer);
    startOuterRect_ = outer;
    Record(window);
  }
  if (items.WindowState) StartState = *items.WindowState;
  // The list is as wide as the window (less its frame, once there is one):
  // a column wider than that could only be scrolled to.
  const int widest = std::max(window.width(), 1);
  for (int i = 0; i < 3; ++i) {
    if (!items.ColumnWidths[i] || !fits(*items.ColumnWidths[i])) continue;
    columnTwips_[i] = *items.ColumnWidths[i];
    header.resizeSection(i, std::min(TwipsToPixels(columnTwips_[i]), widest));
  }
}

void PlacementTracker::Record(const QWidget& window) {
  if (window.windowState() & Qt::WindowMinimized) return;
  Values.Record(window.frameGeometry(), kDesignTwipsPerPixel);
}

void PlacementTracker::CorrectStartSize(QWidget& window) {
  // position.txt gives the outer rectangle, but before the window is shown
  // its frame is unknown and the rectangle went to the inside of the
  // window. Once the frame is there, put the frame on that rectangle.
  if (!startOuterRect_ || !window.isVisible()) return;
  const QRect frame = window.frameGeometry();
  const QRect inner = window.geometry();
  if (frame == inner) return;  // no frame yet, or none at all
  const QRect wanted = *startOuterRect_;
  startOuterRect_.reset();
  if (window.windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized))
    return;
  window.setGeometry(wanted.adjusted(inner.left() - frame.left(), inner.top() - frame.top(),
                                     inner.right() - frame.right(),
                                     inner.bottom() - frame.bottom()));
}

void PlacementTracker::Fill(PositionRecord& record, const QHeaderView& header) const {
  record.WindowLeft = Values.WindowLeft;
  record.WindowTop = Values.WindowTop;
  record.WindowWidth = Values.WindowWidth;
  record.WindowHeight = Values.WindowHeight;
  for (int i = 0; i < 3; ++i) {
    const int pixels = header.sectionSize(i);
    // A width read from the file stays exact while the column keeps it.
    record.ColumnWidths[i] = TwipsToPixels(columnTwips_[i]) == pixels
                                 ? columnTwips_[i]
                                 : static_cast<float>(pixels * kDesignTwipsPerPixel);
  }
}

}  // namespace zelto
