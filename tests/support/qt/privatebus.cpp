#include "support/qt/privatebus.h"

#include <QFile>
#include <utility>

namespace zelto::test {
namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

QString UniqueName(const char* kind) {
  static int count = 0;
  return QStringLiteral("zelto-test-%1-%2").arg(QLatin1String(kind)).arg(++count);
}

}  // namespace

PrivateBus::PrivateBus() {
  const QString config = dir_.filePath(QStringLiteral("bus.conf"));
  QFile file(config);
  if (!file.open(QIODevice::WriteOnly)) return;
  file.write(QStringLiteral("<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                            "<policy context=\"default\"><allow send_destination=\"*\" "
                            "eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/>"
                            "</policy></busconfig>\n")
                 .arg(dir_.path())
                 .toUtf8());
  file.close();
  daemon_.start(QStringLiteral("dbus-daemon"),
                {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                 QStringLiteral("--print-address")});
  if (!daemon_.waitForStarted(10000)) return;
  while (!daemon_.canReadLine() && daemon_.waitForReadyRead(10000)) {
  }
  address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
}

PrivateBus::~PrivateBus() {
  for (const QString& name : std::as_const(connections_)) QDBusConnection::disconnectFromBus(name);
  if (daemon_.state() != QProcess::NotRunning) {
    daemon_.terminate();
    if (!daemon_.waitForFinished(10000)) daemon_.kill();
  }
}

QDBusConnection PrivateBus::Connect() {
  const QString name = UniqueName("bus");
  connections_ << name;
  return QDBusConnection::connectToBus(address_, name);
}

QDBusConnection NoBus() {
  const QString name = UniqueName("nobus");
  QDBusConnection bus =
      QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/zelto-bus"), name);
  QDBusConnection::disconnectFromBus(name);  // the handle stays, unconnected
  return bus;
}

NotificationService::NotificationService(QDBusConnection bus, QStringList capabilities)
    : bus_(std::move(bus)), capabilities_(std::move(capabilities)) {
  registered_ =
      bus_.registerObject(kPath, this,
                          QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals) &&
      bus_.registerService(kService);
}

NotificationService::~NotificationService() {
  bus_.unregisterService(kService);
  bus_.unregisterObject(kPath);
}

uint NotificationService::Notify(const QString& appName, uint replacesId, const QString& icon,
                                 const QString& summary, const QString& body,
                                 const QStringList& actions, const QVariantMap&,
                                 int expireTimeout) {
  received.push_back({appName, icon, summary, body, actions, replacesId, expireTimeout});
  return nextId_++;
}

}  // namespace zelto::test
