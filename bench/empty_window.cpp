// The least a Qt Widgets program does to show a window: the start-up
// benchmark starts it beside the real program, the same way and at the
// same size, as the floor of both start-up time and memory. It reports its
// first paint and its settling as the real program does.
#include <QApplication>
#include <cstdlib>

#include "reportingwindow.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  ReportingWindow window;
  window.resize(argc > 2 ? std::atoi(argv[1]) : 400, argc > 2 ? std::atoi(argv[2]) : 400);
  window.show();
  return app.exec();
}
