// The pictures come into the program as the pixels the build decoded from
// their PNGs: each must look exactly as its PNG does, at every size, scale
// and state it is asked for.
#include <gtest/gtest.h>

#include <QDir>
#include <QIcon>
#include <QImageReader>
#include <QPixmap>
#include <vector>

#include "look/pictures.h"

namespace zelto::test {
namespace {

QIcon FromPngs(const QStringList& files) {
  QIcon icon;
  for (const QString& file : files) {
    QImageReader reader(QStringLiteral(ZELTO_PICTURES_DIR "/") + file, "png");
    QImage image;
    EXPECT_TRUE(reader.read(&image)) << file.toStdString();
    icon.addPixmap(QPixmap::fromImage(image));
  }
  return icon;
}

TEST(Pictures, LookAsTheirPngsAtEverySizeScaleAndState) {
  struct Case {
    QString name;
    QIcon ours, png;
  };
  std::vector<Case> cases;
  for (QString name : QDir(ZELTO_PICTURES_DIR).entryList({"*@2x.png"})) {
    name.chop(int(sizeof "@2x.png") - 1);
    cases.push_back({name, Picture(name), FromPngs({name + ".png", name + "@2x.png"})});
  }
  ASSERT_GE(cases.size(), 10u);
  cases.push_back(
      {"app", AppIcon(), FromPngs({"app16.png", "app32.png", "app64.png", "app128.png"})});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name.toStdString());
    ASSERT_FALSE(c.ours.isNull());
    EXPECT_EQ(c.ours.availableSizes(), c.png.availableSizes());
    for (const QSize size : {QSize(16, 16), QSize(25, 28), QSize(48, 48)})
      for (const qreal ratio : {1.0, 1.5, 2.0})
        for (const QIcon::Mode mode : {QIcon::Normal, QIcon::Disabled})
          EXPECT_TRUE(c.ours.pixmap(size, ratio, mode).toImage() ==
                      c.png.pixmap(size, ratio, mode).toImage())
              << size.width() << "x" << size.height() << " at " << ratio << ", mode " << mode;
  }
}

}  // namespace
}  // namespace zelto::test
