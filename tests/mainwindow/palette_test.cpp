#include <QApplication>
#include <QGroupBox>
#include <QImage>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTreeView>
#include <map>

#include "form1_fixture.h"
#include "look/palette.h"

namespace zelto::test {
namespace {

TEST(ContrastRatio, FollowsTheLuminanceFormula) {
  const struct {
    QColor a, b;
    double ratio;
  } cases[] = {
      {Qt::white, Qt::black, 21.0},                 // order does not matter
      {QColor(0x77, 0x77, 0x77), Qt::white, 4.48},  // the classic near miss
      {QColor(0x76, 0x76, 0x76), Qt::white, 4.54},
  };
  for (const auto& c : cases)
    EXPECT_NEAR(ContrastRatio(c.a, c.b), c.ratio, 0.01) << c.a.name().toStdString();
}

QPalette DarkDesktop() {
  QPalette p(QColor(0x35, 0x35, 0x35), QColor(0x2b, 0x2b, 0x2b));
  p.setColor(QPalette::WindowText, QColor(0xe0, 0xe0, 0xe0));
  p.setColor(QPalette::Text, QColor(0xe0, 0xe0, 0xe0));
  p.setColor(QPalette::ButtonText, QColor(0xe0, 0xe0, 0xe0));
  p.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
  p.setColor(QPalette::Highlight, QColor(0x3d, 0x7a, 0xed));
  p.setColor(QPalette::HighlightedText, Qt::white);
  return p;
}

// The rendered pixels of `area`: the commonest colour is the background,
// and the text is the pixel that stands out most from it.
struct Measured {
  QColor background, text;
  double contrast = 1;
};
Measured Measure(const QImage& image, QRect area) {
  std::map<QRgb, int> counts;
  area &= image.rect();
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) ++counts[image.pixel(x, y)];
  Measured m;
  int most = 0;
  for (auto [rgb, n] : counts)
    if (n > most) most = n, m.background = QColor(rgb);
  for (auto [rgb, n] : counts) {
    const double contrast = ContrastRatio(QColor(rgb), m.background);
    if (contrast > m.contrast) m.contrast = contrast, m.text = QColor(rgb);
  }
  return m;
}

// On the design's own colours, and on a dark desktop's.
TEST_F(Form1Test, EveryCaptionReadsWell) {
  const struct Restore {
    QPalette saved = QApplication::palette();
    ~Restore() { QApplication::setPalette(saved); }
  } restore;
  for (const bool dark : {false, true}) {
    SCOPED_TRACE(dark ? "dark" : "light");
    if (dark) QApplication::setPalette(DarkDesktop());
    form = std::make_unique<Form1>(*table, clock, prompter, folder.path());
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    const QImage shot = form->grab().toImage();
    const auto readable = [&](QRect area) {
      const Measured m = Measure(shot, area);
      EXPECT_GE(m.contrast, 4.5) << m.text.name().toStdString() << " on "
                                 << m.background.name().toStdString();
      return m.background;
    };
    auto* frame = Find<QGroupBox>("Frame1");
    for (const char* name : {"Option1", "Option2"}) {
      SCOPED_TRACE(name);
      QAbstractButton* option = Find(name);
      QStyleOptionButton style;
      style.initFrom(option);
      style.text = option->text();
      const QRect text =
          option->style()->subElementRect(QStyle::SE_RadioButtonContents, &style, option);
      const QColor background = readable(text.translated(option->mapTo(form.get(), QPoint())));
      if (dark) {
        EXPECT_NE(background, frame->palette().color(QPalette::Window)) << "tinted";
      } else {
        EXPECT_EQ(background, QColor(0xFF, 0xFF, 0xC0)) << "the design's pale yellow";
      }
    }
    // The frame's caption, drawn on its top line.
    const QFontMetrics metrics(frame->font());
    EXPECT_EQ(readable(QRect(frame->x() + 8, frame->y(), metrics.horizontalAdvance("Tasks"),
                             metrics.height())),
              dark ? DarkDesktop().color(QPalette::Window) : QColor(Qt::white));
    // The list's border is shaded from the desktop's window colour, not
    // from the white around it: as a plain list of the same size draws it.
    QTreeView plain;
    plain.resize(ListView1()->size());
    plain.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&plain));
    const QImage list = ListView1()->grab().toImage(), expected = plain.grab().toImage();
    const int middle = list.height() / 2;
    EXPECT_EQ(QColor(list.pixel(0, middle)), QColor(expected.pixel(0, middle)));
    SaveScreenshots(form.get(), dark ? "form1-dark" : "form1-light");
  }
}

}  // namespace
}  // namespace zelto::test
