#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>
#include <vector>

namespace zelto::test {

// A dbus-daemon of the test's own, with no services to start on demand, so
// that nothing on the machine answers in place of the test's service.
class PrivateBus {
 public:
  PrivateBus();
  ~PrivateBus();
  PrivateBus(const PrivateBus&) = delete;
  PrivateBus& operator=(const PrivateBus&) = delete;

  bool Running() const { return !address_.isEmpty(); }
  // A new connection to the bus, closed again with the bus.
  QDBusConnection Connect();

 private:
  QTemporaryDir dir_;
  QProcess daemon_;
  QString address_;
  QStringList connections_;
};

// A connection to a bus that is not there.
QDBusConnection NoBus();

// A notification service that records what it is sent, on its own
// connection to the bus.
class NotificationService : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public:
  struct Notification {
    QString appName, icon, summary, body;
    QStringList actions;
    uint replacesId;
    int expireTimeout;
  };

  NotificationService(QDBusConnection bus, QStringList capabilities);
  ~NotificationService() override;
  bool Registered() const { return registered_; }

  std::vector<Notification> received;
  uint LastId() const { return nextId_ - 1; }

  // What a user's click or the closing of a notification makes the service say.
  void Invoke(uint id, const QString& action) { emit ActionInvoked(id, action); }
  void Close(uint id) { emit NotificationClosed(id, 2); }

 public slots:
  QStringList GetCapabilities() { return capabilities_; }
  uint Notify(const QString& appName, uint replacesId, const QString& icon, const QString& summary,
              const QString& body, const QStringList& actions, const QVariantMap& hints,
              int expireTimeout);

 signals:
  void ActionInvoked(uint id, const QString& action);
  void NotificationClosed(uint id, uint reason);

 private:
  QDBusConnection bus_;
  QStringList capabilities_;
  bool registered_ = false;
  uint nextId_ = 41;
};

}  // namespace zelto::test
