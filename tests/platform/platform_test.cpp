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

QString Q(const test::TempFolder& folder) {
  return QString::fromStdString(folder.path().string());
}

// A live instance's lock blocks however old it is; another folder is
// another installation. (A crashed instance's lock: the end-to-end tests.)
TEST(InstanceLock, SecondInstanceIsRefusedUntilTheFirstEnds) {
  test::TempFolder folder, elsewhere;
  const auto file = folder / InstanceLock::kLockFileName;
  test::WriteFileBytes(file, std::to_string(getpid()) + "\n" +
                                 QCoreApplication::applicationName().toStdString() + "\n" +
                                 QSysInfo::machineHostName().toStdString() + "\n");
  std::filesystem::last_write_time(
      file, std::filesystem::file_time_type::clock::now() - std::chrono::hours(48));
  InstanceLock second(Q(folder));
  EXPECT_EQ(second.Acquire(), InstanceLock::Result::AlreadyRunning);
  std::filesystem::remove(file);
  auto first = std::make_unique<InstanceLock>(Q(folder));
  ASSERT_EQ(first->Acquire(), InstanceLock::Result::Acquired);
  EXPECT_EQ(second.Acquire(), InstanceLock::Result::AlreadyRunning);
  EXPECT_EQ(InstanceLock(Q(elsewhere)).Acquire(), InstanceLock::Result::Acquired);
  first.reset();
  EXPECT_EQ(second.Acquire(), InstanceLock::Result::Acquired);
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
