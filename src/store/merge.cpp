#include "store/merge.h"

namespace zelto {

MergePlan PlanMerge(const TaskTable&, const TaskTable&, const TaskTable&) {
  return {};
}

MergeOutcome ApplyMerge(TaskTable&, const TaskTable&, const TaskTable&, const MergePlan&,
                        MergeChoice) {
  return {};
}

bool IsConflictCopyName(std::string_view) {
  return false;
}

}  // namespace zelto
