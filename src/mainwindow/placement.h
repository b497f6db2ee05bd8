#pragma once

#include <QRect>
#include <Qt>
#include <array>
#include <cstdint>
#include <optional>

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
// The part of the primary screen that windows may take, in pixels (the
// whole screen less panels); empty when there is no screen.
QSize AvailableScreenSize();

}  // namespace zelto

class QHeaderView;

namespace zelto {

struct PositionItems;
struct PositionRecord;

// Between the window in pixels and the twips that position.txt keeps: the
// placement as last recorded, the start-up rectangle until the frame is
// known, and the column widths as the file gave them.
class PlacementTracker {
 public:
  // Start-up's items of position.txt: the outer rectangle, the state to
  // start in and the column widths. A value no window system takes (from a
  // damaged file) is skipped; the window is made no larger than `largest`,
  // and no column wider than the window.
  void Apply(const PositionItems& items, QWidget& window, QHeaderView& header, QSize largest);
  // The window's outer rectangle, unless it is minimised.
  void Record(const QWidget& window);
  // Once the frame is known, puts the frame on the start-up rectangle.
  void CorrectStartSize(QWidget& window);
  // The placement and the column widths for position.txt.
  void Fill(PositionRecord& record, const QHeaderView& header) const;

  Placement Values;        // WindowLeft.. and RestoreWindowState
  int16_t StartState = 0;  // the window state position.txt asked for

 private:
  std::optional<QRect> startOuterRect_;  // from position.txt, while the frame is not yet known
  // Column widths in twips as position.txt gave them: written back unchanged
  // while the column keeps the pixel width they made.
  std::array<float, 3> columnTwips_{650, 3100, 2000};
};

}  // namespace zelto
