#include "mainwindow/tasklistdelegate.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QStyle>
#include <QTextLayout>
#include <algorithm>
#include <cmath>
#include <optional>

namespace zelto {
namespace {

// The styles whose item drawing is the common one: background, check box,
// icon, then the text laid out in the rest of the cell.
bool DrawsItemsTheCommonWay(const QStyle* style) {
  return style && style->name().compare(QLatin1String("fusion"), Qt::CaseInsensitive) == 0;
}

bool IsOpaqueColour(const QBrush& brush) {
  return brush.style() == Qt::SolidPattern && brush.color().alpha() == 255;
}

// The one colour a cell shows under its check box once its background is
// drawn, where that can be known: the highlight of a selected row, or the
// list's own background that nothing was drawn over. Anything else (a
// brush, a pattern, see-through colours, alternating rows) has none.
std::optional<QRgb> PlainBackground(const QStyleOptionViewItem& check) {
  if (check.backgroundBrush.style() != Qt::NoBrush ||
      (check.features & QStyleOptionViewItem::Alternate))
    return std::nullopt;
  if (check.state & QStyle::State_Selected) {
    // The colour group as the style picks it for an item's background.
    const bool enabled =
        check.widget ? check.widget->isEnabled() : bool(check.state & QStyle::State_Enabled);
    const QPalette::ColorGroup group = !enabled                             ? QPalette::Disabled
                                       : check.state & QStyle::State_Active ? QPalette::Normal
                                                                            : QPalette::Inactive;
    const QBrush& highlight = check.palette.brush(group, QPalette::Highlight);
    if (!IsOpaqueColour(highlight)) return std::nullopt;
    return highlight.color().rgba();
  }
  const auto* view = qobject_cast<const QAbstractScrollArea*>(check.widget);
  const QWidget* viewport = view ? view->viewport() : nullptr;
  if (!viewport || !viewport->autoFillBackground()) return std::nullopt;
  // As the viewport fills itself: in its own colour group.
  const QBrush& base = viewport->palette().brush(viewport->backgroundRole());
  if (!IsOpaqueColour(base)) return std::nullopt;
  return base.color().rgba();
}

}  // namespace

// What a cell's place in the common layout depends on, apart from where the
// cell is. The text itself is not part of it: only a cell whose text rect
// does not depend on its text comes this way.
bool TaskListDelegate::CellPlaces::Fits(const QStyle* style,
                                        const QStyleOptionViewItem& bare) const {
  return this->style == style && size == bare.rect.size() && features == bare.features &&
         decorationSize == bare.decorationSize && decorationPosition == bare.decorationPosition &&
         displayAlignment == bare.displayAlignment && font == bare.font;
}

const TaskListDelegate::CellPlaces& TaskListDelegate::PlacesOf(
    QStyle* style, const QStyleOptionViewItem& bare) const {
  for (const CellPlaces& places : places_)
    if (places.Fits(style, bare)) return places;
  // One entry a column, made again when a column is resized: the style
  // would lay out each cell three times to say where its check box and
  // text go.
  CellPlaces& places = places_[nextPlaces_];
  nextPlaces_ = (nextPlaces_ + 1) % places_.size();
  const QWidget* widget = bare.widget;
  QStyleOptionViewItem atOrigin = bare;
  atOrigin.rect.moveTopLeft(QPoint(0, 0));
  const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
  places.text = style->subElementRect(QStyle::SE_ItemViewItemText, &atOrigin, widget)
                    .adjusted(margin, 0, -margin, 0);
  places.check = style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &atOrigin, widget);
  places.style = style;
  places.size = bare.rect.size();
  places.features = bare.features;
  places.decorationSize = bare.decorationSize;
  places.decorationPosition = bare.decorationPosition;
  places.displayAlignment = bare.displayAlignment;
  places.font = bare.font;
  return places;
}

bool TaskListDelegate::KeptCheck::Fits(const QStyle* style, const QStyleOptionViewItem& check,
                                       const QRect& area, QRgb background, qreal ratio) const {
  return this->style == style && state == check.state && size == check.rect.size() &&
         offset == check.rect.topLeft() - area.topLeft() && picture.size() == area.size() * ratio &&
         palette == check.palette.cacheKey() && this->background == background &&
         this->ratio == ratio && font == check.font;
}

bool TaskListDelegate::DrawKeptCheck(QStyle* style, const QStyleOptionViewItem& check,
                                     const QRect& cell, QPainter* painter) const {
  // The style draws a check box with antialiased edges and a gradient, the
  // most costly part of a cell. Drawn once on the colour it will stand on,
  // it is the same pixels wherever it is copied to whole device pixels.
  const qreal ratio = painter->device()->devicePixelRatio();
  const QTransform& transform = painter->deviceTransform();
  // The cell clips what the style draws, and the picture is clipped the same.
  const QRect area =
      check.rect.adjusted(-kCheckMargin, -kCheckMargin, kCheckMargin, kCheckMargin) & cell;
  const auto whole = [](qreal value) { return value == std::floor(value); };
  const std::optional<QRgb> background = PlainBackground(check);
  if (!background || !whole(ratio) || transform.type() > QTransform::TxScale ||
      transform.m11() != ratio || transform.m22() != ratio || !whole(transform.dx()) ||
      !whole(transform.dy()) || area.isEmpty() || painter->opacity() != 1.0 ||
      painter->compositionMode() != QPainter::CompositionMode_SourceOver)
    return false;

  auto kept = std::find_if(checks_.begin(), checks_.end(), [&](const KeptCheck& k) {
    return k.Fits(style, check, area, *background, ratio);
  });
  if (kept == checks_.end()) {
    kept = checks_.begin() + static_cast<std::ptrdiff_t>(nextCheck_);
    nextCheck_ = (nextCheck_ + 1) % checks_.size();
    QPixmap picture(area.size() * ratio);
    picture.setDevicePixelRatio(ratio);
    picture.fill(QColor::fromRgba(*background));
    QPainter onPicture(&picture);
    onPicture.setRenderHints(painter->renderHints());
    QStyleOptionViewItem atOrigin = check;
    atOrigin.rect.moveTopLeft(check.rect.topLeft() - area.topLeft());
    style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &atOrigin, &onPicture,
                         check.widget);
    onPicture.end();
    *kept = {style,
             check.state,
             check.rect.size(),
             check.rect.topLeft() - area.topLeft(),
             check.palette.cacheKey(),
             *background,
             ratio,
             check.font,
             std::move(picture)};
  }
  painter->drawPixmap(area.topLeft(), kept->picture);
  return true;
}

void TaskListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
  QStyleOptionViewItem opt = option;
  initStyleOption(&opt, index);
  const QWidget* widget = opt.widget;
  QStyle* style = widget ? widget->style() : QApplication::style();
  const auto stock = [&] { style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget); };
  // Only a plain cell: the text rect must not depend on the text, and
  // nothing may be drawn over the text after it.
  if (opt.text.isEmpty() || !opt.icon.isNull() || !opt.showDecorationSelected ||
      opt.direction != Qt::LeftToRight || (opt.features & QStyleOptionViewItem::WrapText) ||
      (opt.state & (QStyle::State_HasFocus | QStyle::State_Editing)))
    return stock();
  if (commonStyle_ != style) {
    commonStyle_ = style;
    common_ = DrawsItemsTheCommonWay(style);
  }
  // A style sheet may draw items its own way whatever the style's name.
  if (!common_ || !qApp->styleSheet().isEmpty()) return stock();

  // The cell without its text: background and check box as the style draws
  // them, and the rect the text goes into.
  QStyleOptionViewItem bare = opt;
  bare.text.clear();
  const CellPlaces& places = PlacesOf(style, bare);
  const QRect textRect = places.text.translated(opt.rect.topLeft());

  QTextOption textOption;
  textOption.setWrapMode(QTextOption::ManualWrap);
  textOption.setTextDirection(opt.direction);
  textOption.setAlignment(QStyle::visualAlignment(opt.direction, opt.displayAlignment));
  QTextLayout layout(opt.text, opt.font);
  layout.setTextOption(textOption);
  // Kept after the layout, so that drawing does not shape the text again.
  layout.setCacheEnabled(true);
  layout.beginLayout();
  QTextLine line = layout.createLine();
  line.setLineWidth(textRect.width());
  line.setPosition(QPointF(0, 0));
  const bool oneLine = !layout.createLine().isValid();
  layout.endLayout();
  // More lines, or a text that holds variants of itself: the style's own
  // way.
  if (!oneLine || opt.text.contains(QChar(0x9c))) return stock();

  QPalette::ColorGroup group =
      opt.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
  if (group == QPalette::Normal && !(opt.state & QStyle::State_Active)) group = QPalette::Inactive;
  // Placed as the whole line would be, even when it is shortened.
  const QRect placed = QStyle::alignedRect(Qt::LayoutDirectionAuto, opt.displayAlignment,
                                           layout.boundingRect().size().toSize(), textRect);
  // A line too long is shortened as the style shortens it, and laid out
  // again.
  const bool shorten = line.naturalTextWidth() > textRect.width();
  QTextLayout elided;
  if (shorten) {
    elided.setText(
        QFontMetrics(opt.font).elidedText(opt.text, opt.textElideMode, textRect.width()));
    elided.setFont(opt.font);
    elided.setTextOption(textOption);
    elided.setCacheEnabled(true);
    elided.beginLayout();
    qreal height = 0;
    for (QTextLine part = elided.createLine(); part.isValid(); part = elided.createLine()) {
      part.setLineWidth(textRect.width());
      part.setPosition(QPointF(0, height));
      height += part.height();
    }
    elided.endLayout();
  }

  // Clipped to the cell as the style clips its item drawing.
  painter->save();
  painter->setClipRect(opt.rect);
  style->drawPrimitive(QStyle::PE_PanelItemViewItem, &bare, painter, widget);
  if (bare.features & QStyleOptionViewItem::HasCheckIndicator) {
    QStyleOptionViewItem check = bare;
    check.rect = places.check.translated(opt.rect.topLeft());
    check.state &= ~QStyle::State_HasFocus;
    switch (bare.checkState) {
      case Qt::Unchecked:
        check.state |= QStyle::State_Off;
        break;
      case Qt::PartiallyChecked:
        check.state |= QStyle::State_NoChange;
        break;
      case Qt::Checked:
        check.state |= QStyle::State_On;
        break;
    }
    if (!DrawKeptCheck(style, check, opt.rect, painter))
      style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &check, painter, widget);
  }
  painter->setPen(opt.palette.color(
      group, opt.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text));
  (shorten ? elided : layout).draw(painter, QPointF(textRect.x(), placed.top()));
  painter->restore();
}

}  // namespace zelto
