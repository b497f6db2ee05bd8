#include <gtest/gtest.h>

#include <filesystem>

#include "platform/instancelock.h"
#include "support/core/fakes.h"

namespace zelto {
namespace {

QString Q(const test::TempFolder& folder) {
  return QString::fromStdString(folder.path().string());
}

// Another start in the same folder is refused, however old the lock of the
// live first instance; another folder is another installation. (A crashed
// instance's lock is the end-to-end tests' case.)
TEST(InstanceLock, SecondInstanceIsRefusedUntilTheFirstEnds) {
  test::TempFolder folder, elsewhere;
  auto first = std::make_unique<InstanceLock>(Q(folder));
  ASSERT_EQ(first->Acquire(), InstanceLock::Result::Acquired);
  std::filesystem::last_write_time(
      folder / InstanceLock::kLockFileName,
      std::filesystem::file_time_type::clock::now() - std::chrono::hours(48));
  InstanceLock second(Q(folder));
  EXPECT_EQ(second.Acquire(), InstanceLock::Result::AlreadyRunning);
  EXPECT_EQ(InstanceLock(Q(elsewhere)).Acquire(), InstanceLock::Result::Acquired);
  first.reset();
  EXPECT_EQ(second.Acquire(), InstanceLock::Result::Acquired);
}

}  // namespace
}  // namespace zelto
