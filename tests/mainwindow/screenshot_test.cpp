// Renders both windows at 1x and 2x into build/screenshots, for a look by
// eye, and checks that the 2x rendering really uses the finer pictures.
#include <QDir>
#include <QPixmap>
#include <QTreeView>
#include <filesystem>

#include "editor/form2.h"
#include "form1_fixture.h"

namespace zelto::test {
namespace {

QString ScreenshotFolder() {
  const auto folder = std::filesystem::path(ZELTO_EXECUTABLE).parent_path() / "screenshots";
  std::filesystem::create_directories(folder);
  return QString::fromStdString(folder.string());
}

QImage Grab(QWidget* widget, int scale) {
  QPixmap pixmap(widget->size() * scale);
  pixmap.setDevicePixelRatio(scale);
  pixmap.fill(Qt::white);
  widget->render(&pixmap);
  return pixmap.toImage();
}

TEST_F(Form1Test, ScreenshotsOfBothWindows) {
  AddTask(1, "Water the plants");
  AddTask(2, "Pay the rent");
  AddTask(3, "Back up the laptop");
  AddTask(10, "Call mother");
  AddTask(12, "Empty the dishwasher", -1);
  table->DayOfMonthMask[2].Fill(0);
  table->DayOfMonthMask[2][0] = 1;
  FindOccurrences(*table, 2, clock.Now());
  form->FillTaskList();
  form->ColumnClick(3);
  const QString folder = ScreenshotFolder();

  for (QToolButton* button : form->findChildren<QToolButton*>()) {
    const QPixmap fine = button->icon().pixmap(QSize(25, 28), 2.0);
    EXPECT_EQ(fine.size(), QSize(50, 56)) << button->objectName().toStdString();
    EXPECT_EQ(fine.devicePixelRatio(), 2.0);
  }
  EXPECT_EQ(form->ImageList1(1).pixmap(QSize(8, 8), 2.0).size(), QSize(16, 16));

  for (int scale : {1, 2}) {
    const QImage image = Grab(form.get(), scale);
    EXPECT_EQ(image.size(), QSize(385, 475) * scale);
    EXPECT_TRUE(image.save(QString("%1/form1@%2x.png").arg(folder).arg(scale)));
  }

  form->EditTaskId = 2;
  form->EditMode = "edit";
  form->ListView1->setFocus();
  form->Command4_Click();
  Form2* editor = form->Editor();
  ASSERT_NE(editor, nullptr);
  for (int scale : {1, 2}) {
    const QImage image = Grab(editor, scale);
    EXPECT_EQ(image.size(), QSize(456, 336) * scale);
    EXPECT_TRUE(image.save(QString("%1/form2@%2x.png").arg(folder).arg(scale)));
  }
  editor->Command2_Click();
}

}  // namespace
}  // namespace zelto::test
