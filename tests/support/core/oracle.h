#pragma once

#include "store/datetime.h"
#include "store/tasktable.h"

namespace zelto::test {

// The occurrence search done the slow, obvious way: every candidate hour in
// turn, backward from the start of now's hour and then forward, each put
// through the five rule checks in order. The fast search must give exactly
// its answers; tests and benchmarks compare the two.
void FindOccurrencesOracle(TaskTable& table, int id, DateTime now);

}  // namespace zelto::test
