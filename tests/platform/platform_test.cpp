#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSysInfo>
#include <csignal>
#include <filesystem>
#include <vector>

#include "platform/instancelock.h"
#include "platform/signalwatch.h"
#include "support/core/fakes.h"

namespace zelto {
namespace {

// A live instance's lock blocks however old it is; another folder is
// another installation. (A crashed instance's lock: the end-to-end tests.)
// A folder name need not be UTF-8: the system's bytes name it.
TEST(InstanceLock, SecondInstanceIsRefusedUntilTheFirstEnds) {
  for (const char* name : {"plain", "caf\xe9"}) {
    SCOPED_TRACE(name);
    test::TempFolder parent;
    const std::filesystem::path folder = parent / name, elsewhere = parent / "elsewhere";
    std::filesystem::create_directory(folder);
    std::filesystem::create_directory(elsewhere);
    const auto file = folder / InstanceLock::kLockFileName;
    test::WriteFileBytes(file, std::to_string(getpid()) + "\n" +
                                   QCoreApplication::applicationName().toStdString() + "\n" +
                                   QSysInfo::machineHostName().toStdString() + "\n");
    std::filesystem::last_write_time(
        file, std::filesystem::file_time_type::clock::now() - std::chrono::hours(48));
    InstanceLock second(folder);
    EXPECT_EQ(second.Acquire(), InstanceLock::Result::AlreadyRunning);
    std::filesystem::remove(file);
    auto first = std::make_unique<InstanceLock>(folder);
    ASSERT_EQ(first->Acquire(), InstanceLock::Result::Acquired);
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(second.Acquire(), InstanceLock::Result::AlreadyRunning);
    EXPECT_EQ(InstanceLock(elsewhere).Acquire(), InstanceLock::Result::Acquired);
    first.reset();
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ(second.Acquire(), InstanceLock::Result::Acquired);
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
  QElapsedTimer timer;
  timer.start();
  while (received.size() < 3 && timer.elapsed() < 5000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  EXPECT_EQ(received, (std::vector<int>{SIGTERM, SIGHUP, SIGINT}));
}

}  // namespace
}  // namespace zelto
