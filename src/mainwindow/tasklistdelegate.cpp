#include "mainwindow/tasklistdelegate.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QStyle>
#include <QTextLayout>

namespace zelto {
namespace {

// The styles whose item drawing is the common one: background, check box,
// icon, then the text laid out in the rest of the cell.
bool DrawsItemsTheCommonWay(const QStyle* style) {
  return style && style->name().compare(QLatin1String("fusion"), Qt::CaseInsensitive) == 0 &&
         qApp->styleSheet().isEmpty();
}

}  // namespace

// What a cell's place in the common layout depends on, apart from where the
// cell is. The text itself is not part of it: only a cell whose text rect
// does not depend on its text comes this way.
bool TaskListDelegate::CellPlaces::Fits(const QStyle* style,
                                        const QStyleOptionViewItem& bare) const {
  return this->style == style && size == bare.rect.size() && features == bare.features &&
         decorationSize == bare.decorationSize && displayAlignment == bare.displayAlignment &&
         font == bare.font;
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
  places.displayAlignment = bare.displayAlignment;
  places.font = bare.font;
  return places;
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
    style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &check, painter, widget);
  }
  painter->setPen(opt.palette.color(
      group, opt.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text));
  (shorten ? elided : layout).draw(painter, QPointF(textRect.x(), placed.top()));
  painter->restore();
}

}  // namespace zelto
