#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QSysInfo>
#include <filesystem>

#include "platform/instancelock.h"
#include "support/core/fakes.h"

namespace zelto {
namespace {

QString Q(const std::filesystem::path& path) {
  return QString::fromStdString(path.string());
}

TEST(InstanceLock, SecondInstanceIsRefusedUntilTheFirstEnds) {
  test::TempFolder folder;
  auto first = std::make_unique<InstanceLock>(Q(folder.path()));
  ASSERT_EQ(first->Acquire(), InstanceLock::Result::Acquired);

  InstanceLock second(Q(folder.path()));
  EXPECT_EQ(second.Acquire(), InstanceLock::Result::AlreadyRunning);

  // Another folder is another installation.
  test::TempFolder elsewhere;
  InstanceLock other(Q(elsewhere.path()));
  EXPECT_EQ(other.Acquire(), InstanceLock::Result::Acquired);

  first.reset();
  EXPECT_EQ(second.Acquire(), InstanceLock::Result::Acquired);
}

TEST(InstanceLock, LockOfADeadProcessDoesNotBlock) {
  test::TempFolder folder;
  // A pid that surely belongs to no running process: a child that has ended.
  const pid_t child = fork();
  if (child == 0) _exit(0);
  ASSERT_GT(child, 0);
  waitpid(child, nullptr, 0);
  test::WriteFileBytes(
      folder / InstanceLock::kLockFileName,
      std::to_string(child) + "\nzelto-todo\n" + QSysInfo::machineHostName().toStdString() + "\n");

  InstanceLock lock(Q(folder.path()));
  EXPECT_EQ(lock.Acquire(), InstanceLock::Result::Acquired);
}

TEST(InstanceLock, OldLockOfALiveProcessStillBlocks) {
  test::TempFolder folder;
  // This very process, as the holder of a lock made two days ago.
  const auto file = folder / InstanceLock::kLockFileName;
  test::WriteFileBytes(file, std::to_string(getpid()) + "\n" +
                                 QCoreApplication::applicationName().toStdString() + "\n" +
                                 QSysInfo::machineHostName().toStdString() + "\n");
  std::filesystem::last_write_time(
      file, std::filesystem::file_time_type::clock::now() - std::chrono::hours(48));

  InstanceLock lock(Q(folder.path()));
  EXPECT_EQ(lock.Acquire(), InstanceLock::Result::AlreadyRunning);
}

TEST(InstanceLock, NoLockPossibleIsNotAlreadyRunning) {
  test::TempFolder folder;
  // Root ignores permissions, so use places nobody can create a file in.
  test::WriteFileBytes(folder / "plain-file", "x");
  InstanceLock underFile(Q(folder / "plain-file"));
  EXPECT_EQ(underFile.Acquire(), InstanceLock::Result::Unavailable);

  std::filesystem::create_directory(folder / InstanceLock::kLockFileName);
  InstanceLock blocked(Q(folder.path()));
  EXPECT_EQ(blocked.Acquire(), InstanceLock::Result::Unavailable);
}

}  // namespace
}  // namespace zelto
