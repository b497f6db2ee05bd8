#include <gtest/gtest.h>

#include "platform/tray.h"

namespace zelto {
namespace {

TEST(TrayIcon, OnlyButtonReleasesBringTheWindowBack) {
  TrayIcon tray{QIcon()};
  EXPECT_EQ(tray.ToolTip(), "Zelto Todo List");
  int released = 0;
  QObject::connect(&tray, &TrayIcon::Released, [&] { ++released; });

  const struct {
    QSystemTrayIcon::ActivationReason reason;
    int released;
  } cases[] = {
      {QSystemTrayIcon::Trigger, 1},      // left button
      {QSystemTrayIcon::Context, 1},      // right button
      {QSystemTrayIcon::DoubleClick, 0},  // the first release already counted
      {QSystemTrayIcon::MiddleClick, 0}, {QSystemTrayIcon::Unknown, 0},
  };
  tray.Show();
  for (const auto& c : cases) {
    released = 0;
    tray.OnActivated(c.reason);
    EXPECT_EQ(released, c.released) << c.reason;
  }
  // A click that arrives after the icon was removed changes nothing.
  tray.Remove();
  released = 0;
  tray.OnActivated(QSystemTrayIcon::Trigger);
  EXPECT_EQ(released, 0);
}

}  // namespace
}  // namespace zelto
