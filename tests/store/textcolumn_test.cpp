#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "store/tasktable.h"

namespace zelto {
namespace {

// The texts share one buffer: an edit that grows a text appends it and
// leaves the old bytes behind until the buffer is written anew, a text may
// be set from another text of the same buffer, and a re-count moves texts
// without copying. Whatever the order of edits, every slot must read back
// what was last set in it, byte for byte.
TEST(TaskTexts, EverySlotReadsBackItsLastTextThroughAnyEdits) {
  std::mt19937 random(7);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  constexpr int kSlots = 40;  // few, so that edits hit the same texts again
  auto table = MakeTaskTable();
  TextColumn& texts = table->TaskText;
  std::vector<std::string> expected(kSlotCount);
  for (int step = 0; step < 20000; ++step) {
    const int id = pick(kSlots), other = pick(kSlots);
    switch (pick(8)) {
      case 0:
      case 1:
      case 2: {  // a fresh text of any length, bytes 0 to 255 included
        std::string text(static_cast<std::size_t>(pick(3) == 0 ? pick(3000) : pick(60)), '\0');
        for (char& c : text) c = static_cast<char>(pick(256));
        texts.Set(id, text);
        expected[id] = text;
        break;
      }
      case 3:  // another task's text, straight from the buffer
        texts.Set(id, texts[other]);
        expected[id] = expected[other];
        break;
      case 4: {  // a part of its own text
        const std::string_view own = texts[id];
        const std::size_t from =
            own.empty() ? 0 : static_cast<std::size_t>(pick(static_cast<int>(own.size())));
        texts.Set(id, own.substr(from));
        expected[id] = expected[id].substr(from);
        break;
      }
      case 5:  // deleted
        texts.Set(id, {});
        expected[id].clear();
        break;
      case 6:  // moved, as a re-count does
        texts.Move(id, other);
        if (id != other) expected[id] = std::exchange(expected[other], std::string());
        break;
      case 7:
        if (pick(500) == 0) {
          texts.Clear();
          for (auto& text : expected) text.clear();
        }
        break;
    }
    for (int k = 0; k < kSlots; ++k)
      ASSERT_EQ(texts[k], expected[k]) << "step " << step << ", slot " << k;
  }
  // A copy of the table reads the same.
  const TaskTable copy = *table;
  for (int k = 0; k < kSlots; ++k) EXPECT_EQ(copy.TaskText[k], expected[k]);
}

}  // namespace
}  // namespace zelto
