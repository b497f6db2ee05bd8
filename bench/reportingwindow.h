#pragma once

#include <QTimer>
#include <QWidget>
#include <cstdio>

// A top-level window that reports its first paint ("zelto-shown") and,
// once the event loop has run after it, that it has settled
// ("zelto-settled"), exactly as the real program does, for the start-up
// benchmark to read from its standard error.
class ReportingWindow : public QWidget {
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
