#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <csignal>
#include <vector>

#include "platform/signalwatch.h"

namespace zelto {
namespace {

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
