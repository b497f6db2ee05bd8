#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSysInfo>
#include <QTest>
#include <csignal>
#include <filesystem>
#include <optional>
#include <vector>

#include "platform/instancelock.h"
#include "platform/signalwatch.h"
#include "support/core/fakes.h"

namespace zelto {
namespace {

// Only a live holder blocks: whatever an earlier or foreign copy left in the
// file, the first start takes the lock and the next one is refused until
// it ends. Another folder is another installation. A folder's name need not
// be UTF-8: the system's bytes name it.
TEST(InstanceLock, OnlyALiveHolderBlocksWhateverTheFileHolds) {
  const std::optional<std::string> leftovers[] = {
      std::nullopt,
      "",
      std::string("\xff\x00\x01garbage", 10),
      // The format of the older lock file, written on another computer.
      "4242\nzelto-todo\nanother-machine\n0123456789abcdef\n",
      // ... and on this one, by a process that is still alive: ourselves.
      std::to_string(getpid()) + "\n" + QCoreApplication::applicationName().toStdString() + "\n" +
          QSysInfo::machineHostName().toStdString() + "\n",
  };
  for (const char* name : {"plain", "caf\xe9"})
    for (const auto& leftover : leftovers) {
      SCOPED_TRACE(leftover.value_or("no file"));
      SCOPED_TRACE(name);
      test::TempFolder parent;
      const std::filesystem::path folder = parent / name, elsewhere = parent / "elsewhere";
      std::filesystem::create_directory(folder);
      std::filesystem::create_directory(elsewhere);
      const auto file = folder / InstanceLock::kLockFileName;
      if (leftover) test::WriteFileBytes(file, *leftover);
      auto first = std::make_unique<InstanceLock>(folder);
      ASSERT_EQ(first->Acquire(), InstanceLock::Result::Acquired);
      InstanceLock second(folder);
      EXPECT_EQ(second.Acquire(), InstanceLock::Result::AlreadyRunning);
      EXPECT_EQ(InstanceLock(elsewhere).Acquire(), InstanceLock::Result::Acquired);
      EXPECT_EQ(test::ReadFileBytes(file), leftover.value_or("")) << "the file is never written";
      first.reset();
      EXPECT_EQ(second.Acquire(), InstanceLock::Result::Acquired);
      EXPECT_TRUE(std::filesystem::exists(file));
    }
}

TEST(SignalWatch, DeliversTermHupAndIntOnTheEventLoop) {
  SignalWatch watch;
  ASSERT_TRUE(watch.IsActive());
  EXPECT_FALSE(SignalWatch().IsActive()) << "only one watch owns the handlers";
  std::vector<int> received;
  QObject::connect(&watch, &SignalWatch::Received, [&](int number) { received.push_back(number); });
  for (int number : {SIGTERM, SIGHUP, SIGINT}) ::raise(number);
  EXPECT_TRUE(received.empty()) << "nothing is delivered from inside the handler";
  EXPECT_TRUE(QTest::qWaitFor([&] { return received.size() >= 3; }, 5000));
  EXPECT_EQ(received, (std::vector<int>{SIGTERM, SIGHUP, SIGINT}));
}

}  // namespace
}  // namespace zelto
