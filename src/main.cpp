#include <QApplication>

#include "mainwindow/form1.h"
#include "platform/clock.h"
#include "platform/messagebox.h"
#include "platform/programfolder.h"
#include "store/datafile.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  auto table = zelto::MakeTaskTable();
  zelto::SystemClock clock;
  zelto::MessageBoxes prompter;
  const auto folder = zelto::ProgramFolder();
  const bool opened = zelto::LoadDataFile(*table, folder, prompter);

  zelto::Form1 window(*table, clock, prompter, folder);
  prompter.SetParent(&window);
  window.DataFileError = opened ? 0 : 1;
  window.RefreshAndFill();
  window.show();
  return app.exec();
}
