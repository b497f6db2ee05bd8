#pragma once

#include <string_view>
#include <vector>

#include "store/tasktable.h"

namespace zelto {

// Why a task could not be merged by itself.
enum class MergeConflictKind {
  ChangedDifferently,       // both sides changed it, not in the same way
  DeletedHereChangedThere,  // this copy deleted it, the other changed it
  ChangedHereDeletedThere,  // this copy changed it, the other deleted it
  AddedDifferently,         // both added a task at the same new id, not the same one
};

struct MergeConflict {
  int id = 0;
  MergeConflictKind kind{};
};

// What a three-way merge of `mine` and `theirs` against `base` (the last version
// both shared) would do, before anything is changed. Tasks are matched by id; a
// slot is in use when its text is not empty. A task is compared in three parts:
// its text and rule, its tick (the tick and its date), and its occurrences.
// Only the first two make a conflict: the occurrences are the program's own
// search, and the due-task refresh after the merge searches again. An untick by
// that refresh (the tick's date kept) gives way to the user's tick on the other
// side, and does not keep a task that the other side deleted.
struct MergePlan {
  // Either side renumbered its ids (a Re-count): a merge by id cannot be trusted;
  // the caller asks for the whole file instead ("keep mine" / "keep theirs").
  bool renumbered = false;
  std::vector<MergeConflict> conflicts;  // ordered by id
  bool Clean() const { return !renumbered && conflicts.empty(); }
};

MergePlan PlanMerge(const TaskTable& base, const TaskTable& mine, const TaskTable& theirs);

enum class MergeChoice { KeepMine, KeepTheirs, KeepBoth };

struct MergeOutcome {
  // Ids that "keep both" gave to the other side's version of a conflicting task,
  // in the order of the conflicts' ids.
  std::vector<int> movedTo;
  // Conflicting tasks of theirs that found no free id (table full): kept as mine.
  int notPlaced = 0;
};

// Merges into `mine` in place: a task changed on one side only takes that side, a
// task changed the same way on both is kept once, and each conflict of the plan
// is settled by `choice` (KeepBoth: mine stays at its id, theirs goes to a free id).
// Precondition: !plan.renumbered.
//
// The parts of a task merge one by one: a text edited here and a tick given there
// make one task with both. A conflicting task is taken whole from the side
// chosen. KeepBoth restores a task deleted here and changed there at its own id,
// keeps a task changed here and deleted there, and gives theirs' version of any
// other conflict the lowest id above 0 that is free once the rest is merged
// (slot 0 is never given to a task). The merge is worked out again from the
// tables, so a change made here after the plan is merged, not overwritten. With
// a renumbered plan nothing is changed.
MergeOutcome ApplyMerge(TaskTable& mine, const TaskTable& base, const TaskTable& theirs,
                        const MergePlan& plan, MergeChoice choice);

// A file name that a sync program gives to a conflict copy of content.txt, e.g.
// "content.sync-conflict-20261206-101500-ABCDEFG.txt", "content (conflicted copy).txt",
// "content (Someone's conflicted copy 2026-12-06).txt", "content.txt.conflict" ...
// Never content.txt itself, content.tmp or its copies, nor a hidden file.
bool IsConflictCopyName(std::string_view fileName);

}  // namespace zelto
