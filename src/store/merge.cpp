#include "store/merge.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <utility>

#include "store/filestamp.h"

namespace zelto {
namespace {

// A task is compared in three groups, because they change for different
// reasons: the text and rule only by the user's edit, the tick by the user
// and by the due-task refresh, and the occurrences only by the program's own
// search, which the refresh after the merge runs again anyway.

bool SameRule(const TaskTable& a, int i, const TaskTable& b, int j) {
  return a.TaskText[i] == b.TaskText[j] && a.EveryNDays[i] == b.EveryNDays[j] &&
         a.StartDay[i] == b.StartDay[j] && a.StartMonth[i] == b.StartMonth[j] &&
         a.StartYear[i] == b.StartYear[j] && a.HourMask[i] == b.HourMask[j] &&
         a.WeekdayMask[i] == b.WeekdayMask[j] && a.DayOfMonthMask[i] == b.DayOfMonthMask[j] &&
         a.MonthMask[i] == b.MonthMask[j];
}

// Base keeps a hash of the text and rule in place of them, of the fields
// laid out as one run of bytes: the numbers, the four masks' bits, then
// each mask that has an entry kept beside its bits in full, and the text
// last. The bits say which masks follow in full, and the run's length
// (which the hash takes in) fixes the text's: two tasks that differ in any
// field give different runs.
class RuleHasher {
 public:
  std::uint64_t operator()(const TaskTable& t, int id, bool lineBreaksAsBlanks = false) {
    const int16_t numbers[4] = {t.EveryNDays[id], t.StartDay[id], t.StartMonth[id],
                                t.StartYear[id]};
    run_.assign(reinterpret_cast<const char*>(numbers), sizeof numbers);
    const MaskColumn::ConstRef masks[4] = {t.HourMask[id], t.WeekdayMask[id], t.DayOfMonthMask[id],
                                           t.MonthMask[id]};
    bool wide = false;
    for (const auto& mask : masks) {
      const MaskColumn::Bits& bits = mask.AsBits();
      run_.append(reinterpret_cast<const char*>(&bits.ones), sizeof bits.ones);
      run_.append(reinterpret_cast<const char*>(&bits.twos), sizeof bits.twos);
      wide = wide || bits.Wide() != 0;
    }
    if (wide) {
      for (const auto& mask : masks) {
        if (mask.AsBits().Wide() == 0) continue;
        for (int k = 0; k < kMaskSize; ++k) {
          const int16_t entry = mask[k];
          run_.append(reinterpret_cast<const char*>(&entry), sizeof entry);
        }
      }
    }
    const std::string_view text = t.TaskText[id];
    const std::size_t at = run_.size();
    run_ += text;
    if (lineBreaksAsBlanks && text.find('\n') != std::string_view::npos)
      std::replace(run_.begin() + static_cast<std::ptrdiff_t>(at), run_.end(), '\n', ' ');
    return HashBytes(run_);
  }

 private:
  std::string run_;  // reused: one allocation for a whole table
};

MergeBase TakeTicks(const TaskTable& table, bool asSaved) {
  int last = kMaxTaskId;
  while (last >= 0 && !table.InUse(last)) --last;
  MergeBase base;
  base.tasks.resize(static_cast<std::size_t>(last + 1));
  for (int id = 0; id <= last; ++id) {
    if (!table.InUse(id)) continue;
    MergeBase::Task& task = base.tasks[static_cast<std::size_t>(id)];
    task.inUse = true;
    task.checked = table.TaskChecked[id];
    task.checkedDate = asSaved ? table.CheckedDate[id].StartOfHour() : table.CheckedDate[id];
  }
  return base;
}

void HashRules(MergeBase& base, const TaskTable& table, bool asSaved) {
  RuleHasher hash;
  for (std::size_t id = 0; id < base.tasks.size(); ++id)
    if (base.tasks[id].inUse) base.tasks[id].rule = hash(table, static_cast<int>(id), asSaved);
}

const MergeBase::Task& BaseTask(const MergeBase& base, int id) {
  return base.tasks[static_cast<std::size_t>(id)];
}

bool SameTick(const TaskTable& a, const TaskTable& b, int id) {
  return a.TaskChecked[id] == b.TaskChecked[id] && a.CheckedDate[id] == b.CheckedDate[id];
}
// Only for a task in base.
bool SameTick(const TaskTable& side, const MergeBase& base, int id) {
  return side.TaskChecked[id] == BaseTask(base, id).checked &&
         side.CheckedDate[id] == BaseTask(base, id).checkedDate;
}

// The refresh unticks a task that fell due and leaves its date; the user's
// untick clears the date. The refresh's untick is the program's own work,
// so the user's tick on the other side outranks it. Only for a task in base.
bool RefreshUnticked(const TaskTable& side, const MergeBase& base, int id) {
  return BaseTask(base, id).checked != 0 && side.TaskChecked[id] == 0 &&
         side.CheckedDate[id] == BaseTask(base, id).checkedDate;
}

// Changed by the user since base: what a delete on the other side must not
// silently drop.
bool UserChanged(const TaskTable& side, bool ruleChanged, const MergeBase& base, int id) {
  return ruleChanged || (!SameTick(side, base, id) && !RefreshUnticked(side, base, id));
}

bool LaterNext(const TaskTable& a, const TaskTable& b, int id) {
  const auto x = OccurrenceAsDate(a.NextOccurrence[id]);
  const auto y = OccurrenceAsDate(b.NextOccurrence[id]);
  return x && y && *x > *y;
}

enum class Side { None, Mine, Theirs };

const TaskTable& Of(Side side, const TaskTable& mine, const TaskTable& theirs) {
  return side == Side::Mine ? mine : theirs;
}

// What one id of the merge does to mine: copy the groups marked from
// theirs, or wait for the user's choice.
struct Decision {
  bool rule = false, tick = false, occurrences = false;  // taken from theirs
  std::optional<MergeConflictKind> conflict;
};

Decision TakeTheirs() {
  return {true, true, true, {}};
}
Decision Conflict(MergeConflictKind kind) {
  return {false, false, false, kind};
}

// The occurrences must fit the tick and rule the merged task ends with, or
// the refresh after the merge would untick a fresh tick or keep a stale one.
// A changed rule comes with occurrences searched for it. Otherwise they come
// with the tick - unless the tick was given after the other side's refresh
// had passed its occurrence: then it belongs to the later occurrence, and
// that side's are the right ones. With tick and rule alike on both sides the
// later occurrence is the further search; the refresh finds the same.
Side OccurrenceSide(Side rule, Side tick, const TaskTable& mine, const TaskTable& theirs, int id) {
  if (mine.NextOccurrence[id] == theirs.NextOccurrence[id] &&
      mine.PreviousOccurrence[id] == theirs.PreviousOccurrence[id])
    return Side::Mine;
  if (rule != Side::None) return rule;
  if (tick != Side::None) {
    const Side other = tick == Side::Mine ? Side::Theirs : Side::Mine;
    const TaskTable& t = Of(tick, mine, theirs);
    const TaskTable& o = Of(other, mine, theirs);
    if (t.TaskChecked[id] != 0 && LaterNext(o, t, id)) {
      const auto passed = OccurrenceAsDate(o.PreviousOccurrence[id]);
      if (passed && t.CheckedDate[id] >= *passed) return other;
    }
    return tick;
  }
  return LaterNext(mine, theirs, id) ? Side::Mine : Side::Theirs;
}

// Where each side's slot stands against base's. The text and rule are
// compared once per id: they are most of the merge's work.
struct Standing {
  bool inBase, inMine, inTheirs;
  bool ruleMine, ruleTheirs;  // in use or not, or another text or rule
};

Standing Compare(const MergeBase& base, const TaskTable& mine, const TaskTable& theirs, int id,
                 RuleHasher& hash) {
  Standing s{base.InUse(id), mine.InUse(id), theirs.InUse(id), false, false};
  auto changed = [&](const TaskTable& side, bool inSide) {
    return inSide != s.inBase || (inSide && hash(side, id) != BaseTask(base, id).rule);
  };
  s.ruleMine = changed(mine, s.inMine);
  // Most tasks are alike on both sides: a comparison spares the hash.
  s.ruleTheirs = s.inMine && s.inTheirs && SameRule(mine, id, theirs, id)
                     ? s.ruleMine
                     : changed(theirs, s.inTheirs);
  return s;
}

Decision Decide(const MergeBase& base, const TaskTable& mine, const TaskTable& theirs, int id,
                const Standing& s) {
  const bool inBase = s.inBase, inMine = s.inMine, inTheirs = s.inTheirs;
  if (!inTheirs && !inMine) return {};
  if (!inBase) {
    if (!inTheirs) return {};
    if (!inMine) return TakeTheirs();
    if (!SameRule(mine, id, theirs, id) || !SameTick(mine, theirs, id))
      return Conflict(MergeConflictKind::AddedDifferently);
    return {
        false, false, OccurrenceSide(Side::None, Side::None, mine, theirs, id) == Side::Theirs, {}};
  }
  if (!inMine)
    return UserChanged(theirs, s.ruleTheirs, base, id)
               ? Conflict(MergeConflictKind::DeletedHereChangedThere)
               : Decision{};
  if (!inTheirs)
    return UserChanged(mine, s.ruleMine, base, id)
               ? Conflict(MergeConflictKind::ChangedHereDeletedThere)
               : TakeTheirs();

  const bool ruleMine = s.ruleMine, ruleTheirs = s.ruleTheirs;
  if (ruleMine && ruleTheirs && !SameRule(mine, id, theirs, id))
    return Conflict(MergeConflictKind::ChangedDifferently);
  const Side rule = ruleMine == ruleTheirs ? Side::None : ruleMine ? Side::Mine : Side::Theirs;

  const bool tickMine = !SameTick(mine, base, id), tickTheirs = !SameTick(theirs, base, id);
  Side tick = tickMine == tickTheirs ? Side::None : tickMine ? Side::Mine : Side::Theirs;
  if (tickMine && tickTheirs && !SameTick(mine, theirs, id)) {
    const bool refreshMine = RefreshUnticked(mine, base, id);
    const bool refreshTheirs = RefreshUnticked(theirs, base, id);
    if (refreshMine == refreshTheirs) return Conflict(MergeConflictKind::ChangedDifferently);
    tick = refreshMine ? Side::Theirs : Side::Mine;
  }
  return {rule == Side::Theirs,
          tick == Side::Theirs,
          OccurrenceSide(rule, tick, mine, theirs, id) == Side::Theirs,
          {}};
}

void CopyFromTheirs(TaskTable& mine, int to, const TaskTable& theirs, int from, bool rule,
                    bool tick, bool occurrences) {
  if (rule) {
    mine.TaskText.Set(to, theirs.TaskText[from]);
    mine.EveryNDays[to] = theirs.EveryNDays[from];
    mine.StartDay[to] = theirs.StartDay[from];
    mine.StartMonth[to] = theirs.StartMonth[from];
    mine.StartYear[to] = theirs.StartYear[from];
    mine.HourMask[to] = theirs.HourMask[from];
    mine.WeekdayMask[to] = theirs.WeekdayMask[from];
    mine.DayOfMonthMask[to] = theirs.DayOfMonthMask[from];
    mine.MonthMask[to] = theirs.MonthMask[from];
  }
  if (tick) {
    mine.TaskChecked[to] = theirs.TaskChecked[from];
    mine.CheckedDate[to] = theirs.CheckedDate[from];
  }
  if (occurrences) {
    mine.PreviousOccurrence[to] = theirs.PreviousOccurrence[from];
    mine.NextOccurrence[to] = theirs.NextOccurrence[from];
  }
}

// Ids whose text and rule differ from base's on one side.
struct Moves {
  std::vector<int> left;     // base's task is no longer at its id
  std::vector<int> arrived;  // a task base did not have at this id
};

// A Re-count moves tasks down to lower ids, keeping their order; a new task
// always gets an id above every one in use, so a task deleted and made
// again moves up. A copy from before a Re-count moves many tasks up.
bool Renumbered(const MergeBase& base, const TaskTable& side, const Moves& moves,
                RuleHasher& hash) {
  if (moves.left.empty() || moves.arrived.empty()) return false;
  std::vector<std::pair<std::uint64_t, int>> left;  // text and rule, base id
  left.reserve(moves.left.size());
  for (int id : moves.left) left.emplace_back(BaseTask(base, id).rule, id);
  std::ranges::sort(left);
  std::vector<char> matched(left.size());  // each task of base moves once
  int down = 0, up = 0;
  for (int to : moves.arrived) {
    // Of several alike, the one at the lowest id not matched yet.
    const std::uint64_t h = hash(side, to);
    for (auto k = std::ranges::lower_bound(left, std::pair{h, 0}) - left.begin();
         k < std::ssize(left) && left[k].first == h; ++k) {
      if (matched[k]) continue;
      matched[k] = 1;
      ++(left[k].second > to ? down : up);
      break;
    }
  }
  return down > 0 || up > 1;
}

}  // namespace

MergeBase MakeMergeBase(const TaskTable& table) {
  MergeBase base = TakeTicks(table, false);
  HashRules(base, table, false);
  return base;
}

MergeBase MakeSavedMergeBase(const TaskTable& table) {
  MergeBase base = TakeTicks(table, true);
  HashRules(base, table, true);
  return base;
}

MergeBase MakeMergeBaseTicks(const TaskTable& table) {
  return TakeTicks(table, false);
}

void HashMergeBaseRules(MergeBase& base, const TaskTable& table) {
  HashRules(base, table, false);
}

MergePlan PlanMerge(const MergeBase& base, const TaskTable& mine, const TaskTable& theirs) {
  MergePlan plan;
  std::array<Moves, 2> moves;  // mine's, theirs'
  RuleHasher hash;
  for (int id = 0; id <= kMaxTaskId; ++id) {
    const Standing s = Compare(base, mine, theirs, id, hash);
    auto note = [&](Moves& m, bool changed, bool inSide) {
      if (changed && s.inBase) m.left.push_back(id);
      if (changed && inSide) m.arrived.push_back(id);
    };
    note(moves[0], s.ruleMine, s.inMine);
    note(moves[1], s.ruleTheirs, s.inTheirs);
    if (const auto kind = Decide(base, mine, theirs, id, s).conflict)
      plan.conflicts.push_back({id, *kind});
  }
  plan.renumbered =
      Renumbered(base, mine, moves[0], hash) || Renumbered(base, theirs, moves[1], hash);
  return plan;
}

MergeOutcome ApplyMerge(TaskTable& mine, const MergeBase& base, const TaskTable& theirs,
                        const MergePlan& plan, MergeChoice choice) {
  MergeOutcome outcome;
  if (plan.renumbered) return outcome;
  // Theirs' copies wait until every task that keeps its id has it, so that
  // none takes the id of a task restored or added there.
  std::vector<int> toPlace;
  RuleHasher hash;
  for (int id = 0; id <= kMaxTaskId; ++id) {
    const Decision d = Decide(base, mine, theirs, id, Compare(base, mine, theirs, id, hash));
    if (!d.conflict) {
      CopyFromTheirs(mine, id, theirs, id, d.rule, d.tick, d.occurrences);
      continue;
    }
    if (choice == MergeChoice::KeepMine) continue;
    switch (*d.conflict) {
      case MergeConflictKind::ChangedDifferently:
      case MergeConflictKind::AddedDifferently:
        if (choice == MergeChoice::KeepBoth)
          toPlace.push_back(id);
        else
          CopyFromTheirs(mine, id, theirs, id, true, true, true);
        break;
      case MergeConflictKind::DeletedHereChangedThere:
        CopyFromTheirs(mine, id, theirs, id, true, true, true);
        break;
      case MergeConflictKind::ChangedHereDeletedThere:
        if (choice == MergeChoice::KeepTheirs)
          CopyFromTheirs(mine, id, theirs, id, true, true, true);
        break;
    }
  }
  // Slot 0 is never handed out: new tasks start at 1.
  int free = 1;
  for (int from : toPlace) {
    while (free <= kMaxTaskId && mine.InUse(free)) ++free;
    if (free > kMaxTaskId) {
      ++outcome.notPlaced;
      continue;
    }
    CopyFromTheirs(mine, free, theirs, from, true, true, true);
    outcome.movedTo.push_back(free);
  }
  return outcome;
}

namespace {

bool ContainsConflictWord(std::string_view s) {
  static constexpr std::string_view kWords[] = {"conflict", "conflit", "konflikt"};
  std::string lower(s);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return std::ranges::any_of(kWords,
                             [&](std::string_view w) { return lower.find(w) != lower.npos; });
}

}  // namespace

bool IsConflictCopyName(std::string_view name) {
  // Sync programs keep the stem and put their mark either before the
  // extension ("content.sync-conflict-....txt", "content (... conflicted
  // copy ...).txt") or after the whole name ("content.txt.conflict").
  // content.tmp's copies and the save's hidden siblings are not the data.
  constexpr std::string_view kStem = "content", kExtension = ".txt";
  if (!name.starts_with(kStem)) return false;
  std::string_view rest = name.substr(kStem.size());
  if (rest.starts_with(kExtension)) {
    rest.remove_prefix(kExtension.size());
  } else {
    if (!rest.ends_with(kExtension)) return false;
    rest.remove_suffix(kExtension.size());
  }
  if (rest.empty() || std::string_view(".-_ (").find(rest.front()) == std::string_view::npos)
    return false;
  return ContainsConflictWord(rest);
}

}  // namespace zelto
