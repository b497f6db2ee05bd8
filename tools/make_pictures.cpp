// Draws every picture of the program as PNG, at 1x and 2x, from the same
// vector drawing so both scales match.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <functional>

namespace {

using Draw = std::function<void(QPainter&)>;

const QColor kInk(0x3c, 0x46, 0x52);
const QColor kPaper(0xff, 0xff, 0xff);
const QColor kPaperShade(0xe4, 0xea, 0xf1);
const QColor kLine(0x9a, 0xa8, 0xb8);
const QColor kGreen(0x2e, 0x9a, 0x45);
const QColor kRed(0xd0, 0x3a, 0x36);
const QColor kBlue(0x2f, 0x6d, 0xb5);
const QColor kBlueDark(0x1f, 0x4f, 0x8a);
const QColor kOrange(0xf0, 0xa2, 0x2c);

QPen Pen(const QColor& color, double width) {
  QPen pen(color, width);
  pen.setJoinStyle(Qt::RoundJoin);
  pen.setCapStyle(Qt::RoundCap);
  return pen;
}

// A sheet with a folded corner, the common base of the task pictures.
void Sheet(QPainter& p, bool lines) {
  QPainterPath sheet;
  sheet.moveTo(4.5, 2.5);
  sheet.lineTo(14.5, 2.5);
  sheet.lineTo(19.5, 7.5);
  sheet.lineTo(19.5, 24.5);
  sheet.lineTo(4.5, 24.5);
  sheet.closeSubpath();
  p.setPen(Pen(kInk, 1));
  p.setBrush(kPaper);
  p.drawPath(sheet);
  QPainterPath fold;
  fold.moveTo(14.5, 2.5);
  fold.lineTo(14.5, 7.5);
  fold.lineTo(19.5, 7.5);
  p.setBrush(kPaperShade);
  p.drawPath(fold);
  if (lines) {
    p.setPen(Pen(kLine, 1));
    for (double y : {10.5, 13.5, 16.5}) p.drawLine(QPointF(7, y), QPointF(17, y));
  }
}

void Badge(QPainter& p, const QColor& color) {
  p.setPen(Pen(kPaper, 1));
  p.setBrush(color);
  p.drawEllipse(QPointF(17.5, 20.5), 6, 6);
}

void DrawNew(QPainter& p) {
  Sheet(p, false);
  Badge(p, kGreen);
  p.setPen(Pen(kPaper, 2));
  p.drawLine(QPointF(17.5, 17.5), QPointF(17.5, 23.5));
  p.drawLine(QPointF(14.5, 20.5), QPointF(20.5, 20.5));
}

void DrawEdit(QPainter& p) {
  Sheet(p, true);
  // A pencil lying across the lower right corner.
  p.save();
  p.translate(15, 19);
  p.rotate(-45);
  p.setPen(Pen(kInk, 1));
  p.setBrush(kOrange);
  p.drawRect(QRectF(-3, -2.2, 11, 4.4));
  p.setBrush(QColor(0xe8, 0x8a, 0x9a));
  p.drawRect(QRectF(8, -2.2, 2.5, 4.4));
  QPainterPath tip;
  tip.moveTo(-3, -2.2);
  tip.lineTo(-7.5, 0);
  tip.lineTo(-3, 2.2);
  tip.closeSubpath();
  p.setBrush(QColor(0xf5, 0xd9, 0xa8));
  p.drawPath(tip);
  p.setBrush(kInk);
  QPainterPath lead;
  lead.moveTo(-6, -0.75);
  lead.lineTo(-7.5, 0);
  lead.lineTo(-6, 0.75);
  lead.closeSubpath();
  p.drawPath(lead);
  p.restore();
}

void DrawDelete(QPainter& p) {
  Sheet(p, true);
  Badge(p, kRed);
  p.setPen(Pen(kPaper, 2));
  p.drawLine(QPointF(15.3, 18.3), QPointF(19.7, 22.7));
  p.drawLine(QPointF(19.7, 18.3), QPointF(15.3, 22.7));
}

void DrawRecount(QPainter& p) {
  // Numbered rows: 1, 2, 3.
  QFont font("DejaVu Sans");
  font.setPixelSize(8);
  font.setBold(true);
  p.setFont(font);
  for (int i = 0; i < 3; ++i) {
    const double top = 3.5 + 7.5 * i;
    p.setPen(Pen(kBlueDark, 1));
    p.setBrush(kBlue);
    p.drawRoundedRect(QRectF(2.5, top, 8, 7), 1.5, 1.5);
    p.setPen(kPaper);
    p.drawText(QRectF(2.5, top, 8, 7.5), Qt::AlignCenter, QString::number(i + 1));
    p.setPen(Pen(kLine, 2));
    p.drawLine(QPointF(13, top + 3.5), QPointF(22, top + 3.5));
  }
}

void DrawRecalc(QPainter& p) {
  // A pocket calculator.
  p.setPen(Pen(kInk, 1));
  p.setBrush(QColor(0x5d, 0x6b, 0x7a));
  p.drawRoundedRect(QRectF(4.5, 2.5, 16, 23), 2, 2);
  p.setBrush(QColor(0xc8, 0xe6, 0xc9));
  p.setPen(Pen(QColor(0x2b, 0x34, 0x3e), 1));
  p.drawRect(QRectF(6.5, 4.5, 12, 5));
  p.setPen(Qt::NoPen);
  for (int row = 0; row < 4; ++row) {
    for (int col = 0; col < 3; ++col) {
      const bool equals = row == 3 && col == 2;
      p.setBrush(equals ? kOrange : QColor(0xee, 0xf1, 0xf4));
      p.drawRect(QRectF(6 + 4.5 * col, 11.5 + 3.5 * row, 3.5, 2.5));
    }
  }
}

void DrawSave(QPainter& p) {
  // A diskette with a refresh arrow.
  QPainterPath disk;
  disk.moveTo(3.5, 3.5);
  disk.lineTo(18.5, 3.5);
  disk.lineTo(21.5, 6.5);
  disk.lineTo(21.5, 24.5);
  disk.lineTo(3.5, 24.5);
  disk.closeSubpath();
  p.setPen(Pen(kBlueDark, 1));
  p.setBrush(kBlue);
  p.drawPath(disk);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xd5, 0xdc, 0xe4));
  p.drawRect(QRectF(7, 4, 10, 6));
  p.setBrush(kBlueDark);
  p.drawRect(QRectF(13, 5, 2.5, 4));
  p.setBrush(kPaper);
  p.drawRect(QRectF(6, 14, 13, 10));
  p.setPen(Pen(kLine, 1));
  p.drawLine(QPointF(8, 17.5), QPointF(17, 17.5));
  p.drawLine(QPointF(8, 20.5), QPointF(17, 20.5));
  // Refresh badge.
  p.setPen(Pen(kPaper, 1));
  p.setBrush(kGreen);
  p.drawEllipse(QPointF(18, 20.5), 6, 6);
  p.setPen(Pen(kPaper, 1.6));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(15, 17.5, 6, 6), 100 * 16, 250 * 16);
  QPainterPath head;
  head.moveTo(17.2, 15.9);
  head.lineTo(20.0, 17.6);
  head.lineTo(17.2, 19.3);
  head.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(kPaper);
  p.drawPath(head);
}

void DrawAbout(QPainter& p) {
  p.setPen(Pen(kBlueDark, 1));
  p.setBrush(kBlue);
  p.drawEllipse(QPointF(12.5, 14), 10, 10);
  p.setPen(Qt::NoPen);
  p.setBrush(kPaper);
  p.drawEllipse(QPointF(12.5, 8.5), 1.8, 1.8);
  p.drawRoundedRect(QRectF(11, 11.5, 3, 9), 0.8, 0.8);
  p.drawRect(QRectF(9.5, 18.5, 6, 2));
  p.drawRect(QRectF(9.5, 11.5, 3, 1.6));
}

void DrawAsc(QPainter& p) {
  QPainterPath t;
  t.moveTo(4, 1.5);
  t.lineTo(7.5, 6.5);
  t.lineTo(0.5, 6.5);
  t.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x55, 0x5f, 0x6b));
  p.drawPath(t);
}

void DrawDesc(QPainter& p) {
  QPainterPath t;
  t.moveTo(0.5, 1.5);
  t.lineTo(7.5, 1.5);
  t.lineTo(4, 6.5);
  t.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x55, 0x5f, 0x6b));
  p.drawPath(t);
}

void DrawNone(QPainter&) {}

// The application icon: a clipboard with a ticked list, on a 64-unit grid.
void DrawApp(QPainter& p, int size) {
  p.scale(size / 64.0, size / 64.0);
  const bool tiny = size <= 16;
  p.setPen(Pen(QColor(0x6b, 0x44, 0x1f), tiny ? 4 : 2.5));
  p.setBrush(QColor(0xb3, 0x77, 0x3c));
  p.drawRoundedRect(QRectF(8, 6, 48, 56), 6, 6);
  p.setPen(Pen(QColor(0xb0, 0xb8, 0xc2), tiny ? 3 : 1.5));
  p.setBrush(kPaper);
  p.drawRect(QRectF(14, 14, 36, 43));
  p.setPen(Pen(QColor(0x50, 0x5a, 0x66), tiny ? 3 : 2));
  p.setBrush(QColor(0xc9, 0xd1, 0xda));
  p.drawRoundedRect(QRectF(22, 2, 20, 12), 3, 3);
  if (!tiny) {
    p.setPen(Pen(kLine, 3));
    for (double y : {24.0, 34.0, 44.0}) p.drawLine(QPointF(30, y), QPointF(45, y));
    p.setPen(Pen(kGreen, 3.5));
    for (double y : {24.0, 34.0}) {
      p.drawLine(QPointF(18, y), QPointF(21, y + 3));
      p.drawLine(QPointF(21, y + 3), QPointF(26, y - 3));
    }
  } else {
    p.setPen(Pen(kGreen, 9));
    p.drawLine(QPointF(19, 36), QPointF(28, 46));
    p.drawLine(QPointF(28, 46), QPointF(45, 24));
  }
}

bool Save(const QString& folder, const QString& name, int width, int height, int scale,
          const Draw& draw) {
  QImage image(width * scale, height * scale, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  {
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.scale(scale, scale);
    draw(p);
  }
  const QString file = folder + "/" + name + (scale == 2 ? "@2x" : "") + ".png";
  if (!image.save(file)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: make_pictures <pictures folder> [<desktop icon folder>]\n");
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(folder);
  const std::pair<const char*, void (*)(QPainter&)> buttons[] = {
      {"new", DrawNew},       {"edit", DrawEdit}, {"delete", DrawDelete}, {"recount", DrawRecount},
      {"recalc", DrawRecalc}, {"save", DrawSave}, {"about", DrawAbout}};
  bool ok = true;
  for (int scale : {1, 2}) {
    for (const auto& [name, draw] : buttons) ok &= Save(folder, name, 25, 28, scale, draw);
    ok &= Save(folder, "asc", 8, 8, scale, DrawAsc);
    ok &= Save(folder, "desc", 8, 8, scale, DrawDesc);
    ok &= Save(folder, "none", 8, 8, scale, DrawNone);
  }
  for (int size : {16, 32, 64, 128}) {
    ok &= Save(folder, QString("app%1").arg(size), size, size, 1,
               [size](QPainter& p) { DrawApp(p, size); });
  }
  // The icon theme of the desktop menus and docks: every size they ask for,
  // each drawn at its size rather than scaled from another.
  if (argc == 3) {
    const QString icons = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(icons);
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
      ok &= Save(icons, QString::number(size), size, size, 1,
                 [size](QPainter& p) { DrawApp(p, size); });
    }
  }
  return ok ? 0 : 1;
}
