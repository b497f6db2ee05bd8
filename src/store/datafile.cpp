#include "store/datafile.h"

namespace zelto {

// Placeholder until the loader and the save land.
bool LoadDataFile(TaskTable&, const std::filesystem::path&, Prompter&) {
  return false;
}

SaveResult SaveDataFile(const TaskTable&, const std::filesystem::path&, bool, Prompter&,
                        WindowHooks&) {
  return SaveResult::Failed;
}

}  // namespace zelto
