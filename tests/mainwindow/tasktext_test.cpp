// Task text reaches the screen as text, whatever characters it holds.
#include <QAbstractItemModel>
#include <QTextDocument>

#include "form1_fixture.h"

namespace zelto::test {
namespace {

// The list's tooltip for a task is rendered as rich text by the toolkit
// whenever it looks like markup; what the user reads must be the text.
TEST_F(Form1Test, TooltipsShowTaskTextAsItIs) {
  const std::string texts[] = {
      "Water the plants",        "<b>bold</b> & <i>not</i>",
      "<img src=\"/dev/zero\">", "a  two spaces &amp; an entity",
      "<qt><p>A paragraph</p>",
  };
  for (size_t i = 0; i < std::size(texts); ++i) AddTask(static_cast<int>(i) + 1, texts[i]);
  form->FillTaskList();
  const QAbstractItemModel* model = ListView1()->model();
  ASSERT_EQ(model->rowCount(), static_cast<int>(std::size(texts)));
  for (int row = 0; row < model->rowCount(); ++row) {
    const QString text = model->index(row, 1).data(Qt::DisplayRole).toString();
    SCOPED_TRACE(text.toStdString());
    const QString tip = model->index(row, 1).data(Qt::ToolTipRole).toString();
    QTextDocument shown;
    if (Qt::mightBeRichText(tip))
      shown.setHtml(tip);
    else
      shown.setPlainText(tip);
    EXPECT_EQ(shown.toPlainText(), text);
  }
}

}  // namespace
}  // namespace zelto::test
