// Notifications over a real dbus-daemon of the test's own, answered by a
// recording service in this process. The service can answer only while the
// test waits in the event loop, so a call that blocked would never see it.
#include <gtest/gtest.h>

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QSignalSpy>
#include <QTest>
#include <functional>
#include <vector>

#include "platform/notifier.h"
#include "support/qt/privatebus.h"

namespace zelto::test {
namespace {

const QStringList kMarkup{"body", "body-markup", "actions"};

class NotifierTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(bus.Running()) << "dbus-daemon did not start"; }

  // The service has what was sent to it, the notifier no call outstanding.
  void Settle(const NotificationService& service, size_t expected) {
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return notifier.Pending() == 0 && service.received.size() >= expected; }, 10000));
  }

  // Every signal the service sent so far has reached the notifier: the
  // bus keeps each connection's messages in order.
  void Sync() {
    QDBusPendingCallWatcher watcher(client.asyncCall(QDBusMessage::createMethodCall(
        "org.freedesktop.Notifications", "/org/freedesktop/Notifications",
        "org.freedesktop.Notifications", "GetCapabilities")));
    QSignalSpy answered(&watcher, &QDBusPendingCallWatcher::finished);
    ASSERT_TRUE(answered.wait(10000));
  }

  PrivateBus bus;
  QDBusConnection client = bus.Connect();
  Notifier notifier;
};

// The first three tasks by name, then how many more; text that looks like
// markup reads as itself on a service that reads markup, and is sent as it
// is to one that does not.
TEST_F(NotifierTest, BodyNamesTheFirstTasksAsPlainText) {
  struct Case {
    QStringList tasks;
    QStringList capabilities;
    QString body;
  };
  const QString cafe = QString::fromUtf8("caf\xc3\xa9");
  const std::vector<Case> cases = {
      {{"Water the plants"}, kMarkup, "Water the plants"},
      {{"A", "B", "C"}, kMarkup, "A\nB\nC"},
      {{"A", "B", "C", "D", "E"}, kMarkup, "A\nB\nC\nand 2 more"},
      {{"<b>&</b>", "x &amp; y", cafe},
       kMarkup,
       "&lt;b&gt;&amp;&lt;/b&gt;\nx &amp;amp; y\n" + cafe},
      {{"<b>&</b>", "x &amp; y"}, {"body"}, "<b>&</b>\nx &amp; y"},
      {{QStringLiteral("cut") + QChar(u'\0') + "short", "next"}, kMarkup, "cutshort\nnext"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tasks.join('|').toStdString());
    NotificationService service(bus.Connect(), c.capabilities);
    ASSERT_TRUE(service.Registered());
    notifier.SetBus(bus.Connect());
    notifier.TasksDueAgain(c.tasks);
    EXPECT_TRUE(service.received.empty());
    EXPECT_GT(notifier.Pending(), 0) << "the call waits for no answer";
    Settle(service, 1);
    ASSERT_EQ(service.received.size(), 1u);
    const auto& sent = service.received[0];
    EXPECT_EQ(sent.appName, "Zelto Todo List");
    EXPECT_EQ(sent.summary, "Zelto Todo List");
    EXPECT_EQ(sent.body, c.body);
    EXPECT_EQ(sent.replacesId, 0u);
    EXPECT_EQ(sent.expireTimeout, -1);
    EXPECT_EQ(sent.actions.value(0), "default");
    EXPECT_EQ(sent.actions.size(), 2);
  }
}

// Only the default action of a notification of ours, still shown, counts.
TEST_F(NotifierTest, DefaultActionOfOurNotificationActivates) {
  NotificationService service(bus.Connect(), kMarkup);
  ASSERT_TRUE(service.Registered());
  notifier.SetBus(client);
  QSignalSpy activated(&notifier, &Notifier::Activated);
  notifier.TasksDueAgain({"A"});
  Settle(service, 1);
  const uint first = service.LastId();
  notifier.TasksDueAgain({"B"});
  Settle(service, 2);
  const uint second = service.LastId();

  struct Step {
    std::function<void()> say;
    int activations;
  };
  const std::vector<Step> steps = {
      {[&] { service.Invoke(second + 7, "default"); }, 0},  // another program's
      {[&] { service.Invoke(first, "snooze"); }, 0},
      {[&] { service.Invoke(first, "default"); }, 1},
      {[&] { service.Invoke(second, "default"); }, 1},
      {[&] { service.Close(first); }, 0},
      {[&] { service.Invoke(first, "default"); }, 0},  // closed: gone
      {[&] { service.Invoke(second, "default"); }, 1},
  };
  for (size_t i = 0; i < steps.size(); ++i) {
    SCOPED_TRACE(i);
    activated.clear();
    steps[i].say();
    Sync();
    EXPECT_EQ(activated.size(), steps[i].activations);
  }
}

// With no service on the bus the call fails at once and nothing is shown;
// a service that starts later gets the next notification.
TEST_F(NotifierTest, BusWithoutServiceThenAServiceStarts) {
  notifier.SetBus(bus.Connect());
  notifier.TasksDueAgain({"A"});
  EXPECT_EQ(notifier.Pending(), 1);
  EXPECT_TRUE(QTest::qWaitFor([&] { return notifier.Pending() == 0; }, 10000));

  NotificationService service(bus.Connect(), kMarkup);
  ASSERT_TRUE(service.Registered());
  notifier.TasksDueAgain({"B"});
  Settle(service, 1);
  ASSERT_EQ(service.received.size(), 1u);
  EXPECT_EQ(service.received[0].body, "B");
}
}  // namespace
}  // namespace zelto::test
