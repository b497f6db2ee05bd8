// Task text reaches the screen as text, whatever characters it holds.
#include <QAbstractItemModel>
#include <QTextDocument>

#include "form1_fixture.h"

namespace zelto::test {
namespace {

// The tooltip, which the toolkit renders as rich text whenever it looks
// like markup, reads as the text. A huge text shows only its start, in the
// encoding of the whole text and never cut inside a character; the table
// keeps every byte.
TEST_F(Form1Test, TaskTextShowsAsTextAndAHugeOneOnlyItsStart) {
  const QString more(QChar(0x2026));
  std::string utf8 = "x";
  for (int i = 0; i < 3000; ++i) utf8 += "\xc3\xa9";  // é, cut in the middle at byte 4000
  const struct {
    const char* what;
    std::string text;
    QString shown;
  } cases[] = {
      {"markup", "<b>bold</b> & <i>not</i>", "<b>bold</b> & <i>not</i>"},
      {"an image", "<img src=\"/dev/zero\">", "<img src=\"/dev/zero\">"},
      {"blanks and an entity", "a  two spaces &amp; an entity", "a  two spaces &amp; an entity"},
      {"10 MB", std::string(10 << 20, 'a'), QString(4000, 'a') + more},
      {"just fits", std::string(4000, 'b'), QString(4000, 'b')},
      {"UTF-8", utf8, "x" + QString(1999, QChar(0xe9)) + more},
      // Not UTF-8 as a whole (the last byte), though its start would be.
      {"Windows-1252", "\xc3\xa9" + std::string(5000, 'd') + "\xe9",
       QString::fromUtf8("\xc3\x83\xc2\xa9") + QString(3998, 'd') + more},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    table = MakeTaskTable();
    form = std::make_unique<Form1>(*table, clock, prompter, folder.path());
    AddTask(1, c.text);
    form->FillTaskList();
    const QModelIndex cell = ListView1()->model()->index(0, 1);
    EXPECT_EQ(cell.data(Qt::DisplayRole).toString(), c.shown);
    const QString tip = cell.data(Qt::ToolTipRole).toString();
    QTextDocument shown;
    Qt::mightBeRichText(tip) ? shown.setHtml(tip) : shown.setPlainText(tip);
    EXPECT_EQ(shown.toPlainText(), c.shown);
    EXPECT_EQ(table->TaskText[1], c.text);
  }
}

}  // namespace
}  // namespace zelto::test
