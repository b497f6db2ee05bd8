// Task text reaches the screen as text, whatever characters it holds.
#include <QAbstractItemModel>
#include <QTextDocument>
#include <functional>

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
    form.reset();
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

// The list keeps no copy of the texts: a row shows what the table holds for
// its id when it is painted, even when the table changed after the fill and
// before the next one.
TEST_F(Form1Test, ARowShowsTheTextTheTableHoldsWhenPainted) {
  AddTask(1, "first");
  AddTask(2, "second");
  AddTask(3, "third");
  form->FillTaskList();
  const QString huge = QString(4000, 'g') + QChar(0x2026);
  const struct {
    const char* what;
    std::function<void()> change;
    Cells shown;
  } steps[] = {
      {"grown far past what the list shows",
       [&] { table->TaskText.Set(1, std::string(10 << 20, 'g')); },
       {huge, "second", "third"}},
      {"Windows-1252", [&] { table->TaskText.Set(2, "Caf\xe9"); }, {huge, "Caf\u00e9", "third"}},
      {"deleted", [&] { table->TaskText.Set(3, {}); }, {huge, "Caf\u00e9", ""}},
      {"renumbered",
       [&] {
         table->TaskText.Set(1, {});
         RecountTasks(*table);
       },
       {"Caf\u00e9", "", ""}},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    step.change();
    ListView1()->viewport()->repaint();
    EXPECT_EQ(Column(1), step.shown);
    EXPECT_EQ(Column(0), (Cells{"1", "2", "3"}));
    QTextDocument tip;
    tip.setHtml(ListView1()->model()->index(0, 1).data(Qt::ToolTipRole).toString());
    EXPECT_EQ(tip.toPlainText(), step.shown[0]);
  }
  form->FillTaskList();
  EXPECT_EQ(Column(1), Cells{"Caf\u00e9"});
}

}  // namespace
}  // namespace zelto::test
