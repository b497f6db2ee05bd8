// The main window's kinds of controls in the design's font and look, with
// ten thousand rows in the list, and nothing else of the program: no data
// file, no pictures, no tray. Started beside the program and the empty
// window, it tells how much of the program's start-up and memory the
// toolkit takes for such a window and its rows. Reports its first paint
// and its settling as the real program does.
#include <QAbstractTableModel>
#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeView>
#include <cstdlib>

#include "look/stylesheet.h"
#include "look/twips.h"
#include "reportingwindow.h"

namespace {

constexpr int kRows = 10000;

// Rows like the program's: a box and a text, and a date-time beside it.
class Rows : public QAbstractTableModel {
 public:
  int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : kRows; }
  int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : 3; }
  QVariant data(const QModelIndex& index, int role) const override {
    if (role == Qt::CheckStateRole && index.column() == 0) return Qt::Unchecked;
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
      case 0:
        return QString::number(index.row() + 1);
      case 1:
        return QStringLiteral("Task number %1 with a few words of text").arg(index.row() + 1);
      default:
        return QStringLiteral("07.12.2026 10:00");
    }
  }
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return section == 0 ? "Id" : section == 1 ? "Task" : "Next occurrence";
  }
};

}  // namespace

int main(int argc, char* argv[]) {
  using zelto::TwipsRect;
  QApplication app(argc, argv);
  ReportingWindow window;
  window.resize(argc > 2 ? std::atoi(argv[1]) : 400, argc > 2 ? std::atoi(argv[2]) : 400);
  QFont font = window.font();
  font.setPointSizeF(8);
  font.setStretch(QFont::SemiCondensed);
  window.setFont(font);

  auto* list = new QTreeView(&window);
  list->setGeometry(TwipsRect(0, 720, 5775, 6375));
  list->setRootIsDecorated(false);
  list->setUniformRowHeights(true);
  list->setModel(new Rows);
  for (int i = 0; i < 3; ++i) list->header()->resizeSection(i, zelto::DesignPixels(2000));
  auto* frame = new QGroupBox("Tasks", &window);
  frame->setGeometry(TwipsRect(120, 0, 1815, 615));
  (new QRadioButton("ToDo", frame))->setGeometry(TwipsRect(120, 200, 735, 330));
  (new QRadioButton("Done", frame))->setGeometry(TwipsRect(960, 200, 735, 330));
  for (int i = 0; i < 8; ++i)
    (new QPushButton(&window))->setGeometry(TwipsRect(2040 + 480 * i, 240, 255, 255));

  window.setStyleSheet(zelto::kDesignStyleSheet);
  for (QWidget* child : window.findChildren<QWidget*>()) child->setFont(font);
  window.show();
  list->setCurrentIndex(list->model()->index(0, 0));
  return app.exec();
}
