#include <QApplication>
#include <QLabel>

#include "platform/clock.h"
#include "platform/messagebox.h"
#include "platform/programfolder.h"
#include "schedule/passes.h"
#include "store/datafile.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  zelto::MessageBoxes prompter;
  auto table = zelto::MakeTaskTable();
  zelto::LoadDataFile(*table, zelto::ProgramFolder(), prompter);
  int count = 0;
  for (int id = 0; id <= zelto::kMaxTaskId; ++id) count += table->InUse(id) ? 1 : 0;
  QLabel window(QString("%1 tasks loaded").arg(count));
  window.setWindowTitle("Zelto Todo List v2.3");
  window.resize(385, 475);
  window.show();
  return app.exec();
}
