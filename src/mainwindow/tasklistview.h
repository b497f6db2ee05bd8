#pragma once

#include <QFont>
#include <QSize>
#include <QTreeView>
#include <array>
#include <optional>

namespace zelto {

// The task list's view. After every change of order Qt's tree view lays out
// its frame again as if its size might have changed: it sets its margins,
// which raises the two scroll bars over each other, and so repaints both of
// them and what lies under them, on every header click. A re-sort moves rows
// and nothing else, so after one the view keeps its frame's layout, unless
// something that layout depends on differs from when it was last made.
class TaskListView : public QTreeView {
 public:
  using QTreeView::QTreeView;

  // A re-sort is known by the hint the model gives with its change of order.
  void setModel(QAbstractItemModel* model) override;

 protected:
  void doItemsLayout() override;
  void updateGeometries() override;

 private:
  // What the frame's layout (margins, header, scroll bars) is made from.
  struct Geometry {
    QSize size, viewport;
    int headerHeight = 0, headerLength = 0;
    std::array<int, 3> sections{};
    int sectionCount = 0, rows = 0, rowHeight = 0;
    Qt::ScrollBarPolicy vertical{}, horizontal{};
    ScrollMode verticalMode{}, horizontalMode{};
    const QStyle* style = nullptr;
    QFont font;
    bool operator==(const Geometry&) const = default;
  };
  Geometry Measure();

  QMetaObject::Connection sorts_;
  bool resorted_ = false;
  bool resortLayout_ = false;
  bool inLayout_ = false;
  std::optional<Geometry> laidOut_;
};

}  // namespace zelto
