#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <deque>
#include <functional>

namespace zelto::test {

// What one real message box showed, read before it was answered.
struct Seen {
  QString text, detail;
  QStringList buttons;  // sorted: the style lays them out
  bool plain = false;   // text and detail both shown as plain text
};
using Act = std::function<void(QMessageBox*)>;

// Answers each real message box that comes up with the next of `acts`,
// from inside the box's own event loop.
class Answerer {
 public:
  explicit Answerer(std::deque<Act> acts) : acts_(std::move(acts)) {
    poll_.setInterval(1);
    QObject::connect(&poll_, &QTimer::timeout, [this] { Look(); });
    poll_.start();
  }
  std::vector<Seen> seen;

 private:
  void Look() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible() || box == last_.data() || acts_.empty()) return;
    last_ = box;
    Seen s{box->text(), box->informativeText(), {}, false};
    for (QAbstractButton* b : box->buttons()) s.buttons << b->text();
    s.buttons.sort();
    const auto* detail = box->findChild<QLabel*>("qt_msgbox_informativelabel");
    s.plain =
        box->textFormat() == Qt::PlainText && (!detail || detail->textFormat() == Qt::PlainText);
    seen.push_back(s);
    Act act = std::move(acts_.front());
    acts_.pop_front();
    act(box);
  }
  std::deque<Act> acts_;
  QPointer<QMessageBox> last_;
  QTimer poll_;
};

inline Act Press(const QString& caption) {
  return [caption](QMessageBox* box) {
    for (QAbstractButton* b : box->buttons())
      if (b->text() == caption) return b->click();
    ADD_FAILURE() << "no button " << caption.toStdString();
    box->reject();
  };
}
inline Act Key(Qt::Key key) {
  return [key](QMessageBox* box) { QTest::keyClick(box, key); };
}

}  // namespace zelto::test
