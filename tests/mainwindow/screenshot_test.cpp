// Renders both windows at 1x and 2x into build/screenshots, for a look by
// eye, and checks that the 2x rendering really uses the finer pictures.
#include <QPixmap>
#include <filesystem>

#include "form1_fixture.h"

namespace zelto::test {
namespace {

void Save(QWidget* widget, const char* name, QSize size) {
  const auto folder = std::filesystem::path(ZELTO_EXECUTABLE).parent_path() / "screenshots";
  std::filesystem::create_directories(folder);
  for (int scale : {1, 2}) {
    QPixmap pixmap(widget->size() * scale);
    pixmap.setDevicePixelRatio(scale);
    pixmap.fill(Qt::white);
    widget->render(&pixmap);
    EXPECT_EQ(pixmap.size(), size * scale);
    const auto file = folder / (std::string(name) + "@" + std::to_string(scale) + "x.png");
    EXPECT_TRUE(pixmap.save(QString::fromStdString(file.string())));
  }
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
  for (QToolButton* button : form->findChildren<QToolButton*>())
    EXPECT_EQ(button->icon().pixmap(QSize(25, 28), 2.0).size(), QSize(50, 56));
  EXPECT_EQ(form->ImageList1(1).pixmap(QSize(8, 8), 2.0).size(), QSize(16, 16));
  Save(form.get(), "form1", QSize(385, 475));

  SelectRow(1);
  Click(form->Command4);
  ASSERT_NE(form->Editor(), nullptr);
  Save(form->Editor(), "form2", QSize(456, 336));
  form->Editor()->Command2_Click();
}

}  // namespace
}  // namespace zelto::test
