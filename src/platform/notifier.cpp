#include "platform/notifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>
#include <algorithm>
#include <utility>

namespace zelto {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
const QString kTitle = QStringLiteral("Zelto Todo List");
const QString kDefaultAction = QStringLiteral("default");

QDBusMessage Call(const QString& method) {
  return QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
}

}  // namespace

Notifier::Notifier(QObject* parent) : QObject(parent) {}

void Notifier::SetBus(const QDBusConnection& bus) {
  if (bus_ && listening_) {
    bus_->disconnect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                     SLOT(OnActionInvoked(uint, QString)));
    bus_->disconnect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                     SLOT(OnNotificationClosed(uint, uint)));
  }
  bus_ = bus;
  listening_ = false;
  shown_.clear();
}

QDBusConnection& Notifier::Bus() {
  if (!bus_) bus_ = QDBusConnection::sessionBus();
  return *bus_;
}

QString Notifier::BodyText(const QStringList& first, qsizetype count) {
  QStringList lines = first.mid(0, std::min<qsizetype>(kShownTasks, count));
  if (count > kShownTasks) lines << QStringLiteral("and %1 more").arg(count - kShownTasks);
  // The bus carries text only up to a NUL; a task text from a damaged file
  // must not cut the rest of the notification short.
  return lines.join(QLatin1Char('\n')).remove(QChar(u'\0'));
}

QString Notifier::EscapeMarkup(const QString& text) {
  QString escaped = text;
  escaped.replace(QLatin1Char('&'), QStringLiteral("&amp;"));
  escaped.replace(QLatin1Char('<'), QStringLiteral("&lt;"));
  escaped.replace(QLatin1Char('>'), QStringLiteral("&gt;"));
  return escaped;
}

void Notifier::TasksDueAgain(const QStringList& first, qsizetype count) {
  if (count <= 0) return;
  QDBusConnection& bus = Bus();
  if (!bus.isConnected()) return;
  if (!listening_) {
    bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                SLOT(OnActionInvoked(uint, QString)));
    bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                SLOT(OnNotificationClosed(uint, uint)));
    listening_ = true;
  }
  // Whether the service reads markup decides whether the text is escaped:
  // escaped text shown raw would read "&amp;".
  const QString body = BodyText(first, count);
  Expect(bus.asyncCall(Call(QStringLiteral("GetCapabilities")), kReplyTimeoutMs),
         [this, body](const QDBusPendingCall& call) {
           const QDBusPendingReply<QStringList> reply = call;
           if (reply.isError()) return;  // no service, or none that answers
           Send(reply.value().contains(QStringLiteral("body-markup")) ? EscapeMarkup(body) : body);
         });
}

void Notifier::Send(const QString& body) {
  QDBusMessage call = Call(QStringLiteral("Notify"));
  call << kTitle << 0u << QString() << kTitle << body
       << QStringList{kDefaultAction, QStringLiteral("ToDo")} << QVariantMap() << -1;
  Expect(Bus().asyncCall(call, kReplyTimeoutMs), [this](const QDBusPendingCall& answered) {
    const QDBusPendingReply<uint> reply = answered;
    if (!reply.isError()) shown_.insert(reply.value());
  });
}

void Notifier::Expect(const QDBusPendingCall& call,
                      std::function<void(const QDBusPendingCall&)> answered) {
  auto* watcher = new QDBusPendingCallWatcher(call, this);
  ++pending_;
  connect(watcher, &QDBusPendingCallWatcher::finished, this,
          [this, answered = std::move(answered)](QDBusPendingCallWatcher* finished) {
            finished->deleteLater();
            answered(*finished);
            --pending_;
          });
}

void Notifier::OnActionInvoked(uint id, const QString& action) {
  if (action == kDefaultAction && shown_.contains(id)) emit Activated();
}

void Notifier::OnNotificationClosed(uint id, uint) {
  shown_.remove(id);
}

}  // namespace zelto
