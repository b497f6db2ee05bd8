#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "store/datetime.h"
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

// What a merge needs of the last version that both sides shared, without
// the version itself (a few hundred bytes a task): for each id, whether a task
// was there, a 64-bit hash of its text and rule, and its tick and the tick's
// date exactly. The merge only asks whether each side still has base's text
// and rule, and the tick's exact values are needed for the refresh's own untick.
struct MergeBase {
  struct Task {
    std::uint64_t rule = 0;  // text, every-n-days rule, start date and the four masks
    DateTime checkedDate;
    int16_t checked = 0;
    bool inUse = false;
    bool operator==(const Task&) const = default;
  };
  std::vector<Task> tasks;  // by id; empty for a version with no task
  bool InUse(int id) const {
    return static_cast<std::size_t>(id) < tasks.size() && tasks[static_cast<std::size_t>(id)].inUse;
  }
  bool operator==(const MergeBase&) const = default;
};

// The base of a merge against `table` as it is.
MergeBase MakeMergeBase(const TaskTable& table);

// MakeMergeBase in two steps, for a caller that goes on with the table in
// between: the first takes which tasks there are and their ticks, the second
// hashes their texts and rules and reads nothing else of the table, so it
// may run on another thread while this one changes ticks and occurrences
// (never a text or a rule).
MergeBase MakeMergeBaseTicks(const TaskTable& table);
void HashMergeBaseRules(MergeBase& base, const TaskTable& table);

// The base of a merge against the file that a save of `table` writes, as a
// load of that file reads it again: the file keeps a tick's date to the
// hour, and a line break in a text as a blank. (The table's own dates lie
// in the years the file holds, 100 to 9999.)
MergeBase MakeSavedMergeBase(const TaskTable& table);

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

MergePlan PlanMerge(const MergeBase& base, const TaskTable& mine, const TaskTable& theirs);

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
MergeOutcome ApplyMerge(TaskTable& mine, const MergeBase& base, const TaskTable& theirs,
                        const MergePlan& plan, MergeChoice choice);

// A file name that a sync program gives to a conflict copy of content.txt, e.g.
// "content.sync-conflict-20261206-101500-ABCDEFG.txt", "content (conflicted copy).txt",
// "content (Someone's conflicted copy 2026-12-06).txt", "content.txt.conflict" ...
// Never content.txt itself, content.tmp or its copies, nor a hidden file.
bool IsConflictCopyName(std::string_view fileName);

}  // namespace zelto
