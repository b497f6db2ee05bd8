#pragma once

#include <QIcon>
#include <QObject>
#include <QSystemTrayIcon>
#include <optional>

namespace zelto {

// The notification-area icon. Only the left or the right button over it
// (what the toolkit reports as Trigger and Context) asks for the window
// back; double-clicks, the middle button and moves do nothing.
class TrayIcon : public QObject {
  Q_OBJECT

 public:
  explicit TrayIcon(const QIcon& icon, QObject* parent = nullptr);

  // Whether the desktop has a notification area at all (stock GNOME and
  // Xvfb have none). Tests may decide it.
  static bool Available();
  static void SetAvailableForTests(std::optional<bool> available);

  void Show();
  void Remove();
  bool IsShown() const;
  QString ToolTip() const;

  // The toolkit's activation, handled on the event loop after the click
  // has been delivered; also the way tests click the icon.
  void OnActivated(QSystemTrayIcon::ActivationReason reason);

 signals:
  void Released();

 private:
  QSystemTrayIcon* icon_;
  bool shown_ = false;
  static std::optional<bool> availableForTests_;
};

}  // namespace zelto
