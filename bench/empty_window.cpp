// The least a Qt Widgets program does to show a window: the start-up
// benchmark starts it beside the real program, the same way and at the
// same size, as the floor of both start-up time and memory. It reports its
// first paint and, once the event loop has run after it, that it has
// settled, exactly as the real program does.
#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <cstdlib>

namespace {

class EmptyWindow : public QWidget {
 protected:
  void paintEvent(QPaintEvent*) override {
    if (painted_) return;
    painted_ = true;
    std::fprintf(stderr, "zelto-shown\n");
    std::fflush(stderr);
    QTimer::singleShot(0, [] {
      std::fprintf(stderr, "zelto-settled\n");
      std::fflush(stderr);
    });
  }

 private:
  bool painted_ = false;
};

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  EmptyWindow window;
  window.resize(argc > 2 ? std::atoi(argv[1]) : 400, argc > 2 ? std::atoi(argv[2]) : 400);
  window.show();
  return app.exec();
}
