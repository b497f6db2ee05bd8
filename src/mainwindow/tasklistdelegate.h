#pragma once

#include <QFont>
#include <QPixmap>
#include <QPointer>
#include <QStyle>
#include <QStyledItemDelegate>
#include <array>

namespace zelto {

// Paints the task list's cells exactly as the stock delegate does, with the
// text of a cell that fits on one line laid out once instead of once for
// its size, once to elide it and once to draw it: ten thousand rows are
// rebuilt and re-sorted in little more than the time the visible rows take
// to paint. Every other cell, and every style that draws its items its own
// way, goes the stock way.
class TaskListDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;

 private:
  // Where a cell's check box and text go, from its top left corner, for
  // cells of one size and kind.
  struct CellPlaces {
    // Guarded: a style deleted and another made at its address must not
    // match.
    QPointer<QStyle> style;
    QSize size;
    QStyleOptionViewItem::ViewItemFeatures features;
    QSize decorationSize;
    QStyleOptionViewItem::Position decorationPosition = QStyleOptionViewItem::Left;
    Qt::Alignment displayAlignment;
    QFont font;
    QRect text, check;

    bool Fits(const QStyle* style, const QStyleOptionViewItem& bare) const;
  };
  const CellPlaces& PlacesOf(QStyle* style, const QStyleOptionViewItem& bare) const;

  // A check box as the style draws it on one background colour, with a
  // margin around it, within its cell, for anything the style draws outside
  // its rect.
  static constexpr int kCheckMargin = 2;
  struct KeptCheck {
    QPointer<QStyle> style;
    QStyle::State state;
    QSize size;
    QPoint offset;  // of the check box in its picture
    qint64 palette = 0;
    QRgb background = 0;
    qreal ratio = 0;
    QFont font;
    QPixmap picture;

    bool Fits(const QStyle* style, const QStyleOptionViewItem& check, const QRect& area,
              QRgb background, qreal ratio) const;
  };
  // Draws `check` from a kept picture where the cell's background is known
  // to be one colour; false when it is not, and the style must draw it.
  bool DrawKeptCheck(QStyle* style, const QStyleOptionViewItem& check, const QRect& cell,
                     QPainter* painter) const;

  mutable std::array<CellPlaces, 4> places_;
  // Ticked and not, each selected and not, in an active and inactive window.
  mutable std::array<KeptCheck, 8> checks_;
  mutable size_t nextCheck_ = 0;
  mutable size_t nextPlaces_ = 0;
  mutable QPointer<QStyle> commonStyle_;
  mutable bool common_ = false;
};

}  // namespace zelto
