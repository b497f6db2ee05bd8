// The desktop notification of done tasks due again, from the main window's
// hour watch to a recording notification service on a private bus, and the
// way back from the notification to the window.
#include <QApplication>
#include <QRadioButton>

#include "form1_fixture.h"
#include "platform/notifier.h"
#include "platform/tray.h"
#include "support/qt/privatebus.h"

namespace zelto::test {
namespace {

const QStringList kMarkup{"body", "body-markup", "actions"};

class NotifyTest : public Form1Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(bus.Running()) << "dbus-daemon did not start";
    TrayIcon::SetAvailableForTests(true);
    Form1Test::SetUp();
  }
  void TearDown() override {
    form.reset();
    TrayIcon::SetAvailableForTests(std::nullopt);
    Form1Test::TearDown();
  }

  // Notifications go to `notifyBus`.
  void BeforeStartUp() override { form->Life().Notifications->SetBus(notifyBus); }
  void Start(const QDBusConnection& bus, const char* position = nullptr) {
    notifyBus = bus;
    Form1Test::Start(position);
  }
  void NextHour() {
    clock.AdvanceHours(1);
    form->Life().Timer1_Timer();
  }
  // What the service got once the window has nothing outstanding.
  const std::vector<NotificationService::Notification>& Received(const NotificationService& service,
                                                                 size_t expected) {
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
          return form->Life().Notifications->Pending() == 0 && service.received.size() >= expected;
        },
        10000));
    return service.received;
  }

  PrivateBus bus;
  QDBusConnection notifyBus = NoBus();
};

// Done tasks that the hour's refresh unticks are named, the first three and
// a count; tasks that were not done, or are not due, are not. Choosing the
// notification brings the window to the front in the ToDo view, from the
// Done view as from the tray.
TEST_F(NotifyTest, HourWatchNamesDoneTasksDueAgainAndTheNotificationLeadsBack) {
  NotificationService service(bus.Connect(), kMarkup);
  ASSERT_TRUE(service.Registered());
  WriteTask(2, "<b>&</b>", 15, -1);
  WriteTask(3, "caf\xe9", 15, -1);  // Windows-1252, as older files hold it
  WriteTask(4, "Task 4", 15, -1);
  WriteTask(6, "Task 6", 15, -1);
  WriteTask(9, "Task 9", 15, -1);
  WriteTask(7, "Not done", 15, 0);
  WriteTask(8, "Later", 16, -1);
  Start(bus.Connect());
  EXPECT_EQ(form->Life().Notifications->Pending(), 0) << "nothing fell due at start-up";
  Minimize();
  ASSERT_FALSE(form->isVisible());

  NextHour();
  EXPECT_TRUE(form->isVisible()) << "the window comes back as ever";
  EXPECT_TRUE(Find<QRadioButton>("Option1")->isChecked());
  const auto& sent = Received(service, 1);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].summary, "Zelto Todo List");
  EXPECT_EQ(sent[0].body,
            QString::fromUtf8("&lt;b&gt;&amp;&lt;/b&gt;\ncaf\xc3\xa9\nTask 4\nand 2 more"));

  for (const bool minimise : {false, true}) {
    SCOPED_TRACE(minimise);
    minimise ? Minimize() : Click(Find<QRadioButton>("Option2"));
    ASSERT_EQ(form->isVisible(), !minimise);
    service.Invoke(service.LastId(), "default");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return form->isVisible() && Find<QRadioButton>("Option1")->isChecked(); }, 10000));
    EXPECT_FALSE(form->isMinimized());
    EXPECT_EQ(form->List().RowCount(), 6) << "the ToDo view's rows";
    EXPECT_FALSE(form->Life().TrayShown());
  }

  NextHour();  // 16:00: task 8, shown window
  EXPECT_EQ(Received(service, 2).back().body, "Later");
}

// Started after the program was not running while a done task fell due:
// the start-up tick tells of it too.
TEST_F(NotifyTest, StartUpTickNamesTasksThatFellDueWhileNotRunning) {
  NotificationService service(bus.Connect(), kMarkup);
  ASSERT_TRUE(service.Registered());
  WriteTask(5, "Water the plants", 15, -1);
  clock.Set(At(2024, 3, 11, 9, 0));
  Start(bus.Connect(), "150\t90\t6000\t7995\t1\r\n");
  EXPECT_TRUE(form->isVisible());
  const auto& sent = Received(service, 1);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].body, "Water the plants");
}

// Without a notification service, or without a bus at all, the hour watch
// brings the window back as before and nothing is left waiting; a window
// closed before the bus has answered leaves nothing behind.
TEST_F(NotifyTest, WithoutServiceOrBusTheHourWatchGoesOnAsBefore) {
  for (const bool onBus : {true, false}) {
    SCOPED_TRACE(onBus);
    clock.Set(At(2024, 3, 10, 14, 30));
    WriteTask(5, "Task 5", 15, -1);
    Start(onBus ? bus.Connect() : NoBus());
    Minimize();
    NextHour();
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->List().RowCount(), 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->Life().Notifications->Pending() == 0; }, 10000));

    table->TaskChecked[5] = -1;  // done again; due at 15:00 tomorrow
    clock.AdvanceHours(23);
    form->Life().Timer1_Timer();
    NextHour();  // and the window closes before any answer
    EXPECT_EQ(table->TaskChecked[5], 0);
    EXPECT_EQ(form->Life().Notifications->Pending(), onBus ? 1 : 0);
    form.reset();
    QTest::qWait(0);
  }
}

}  // namespace
}  // namespace zelto::test
