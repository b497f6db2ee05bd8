#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QDBusPendingCall;

namespace zelto {

// Desktop notifications through the freedesktop notification service on
// the session bus. Every call is asynchronous with a short timeout: without
// a bus, without a service, or with one that does not answer, the program
// neither waits nor notices.
class Notifier : public QObject {
  Q_OBJECT

 public:
  explicit Notifier(QObject* parent = nullptr);

  // The session bus unless set here; it is looked up only when the first
  // notification goes out.
  void SetBus(const QDBusConnection& bus);

  // One notification naming the tasks (as displayed) that fell due again:
  // `count` of them, of which `first` holds the first texts, kShownTasks
  // at least where there are as many.
  void TasksDueAgain(const QStringList& first, qsizetype count);
  void TasksDueAgain(const QStringList& tasks) { TasksDueAgain(tasks, tasks.size()); }

  // Calls still waiting for the service's answer.
  int Pending() const { return pending_; }

  // The first few tasks, one a line, then how many more there are.
  static QString BodyText(const QStringList& first, qsizetype count);
  // Markup is a service's option: where it reads markup, text is escaped.
  static QString EscapeMarkup(const QString& text);

  static constexpr int kShownTasks = 3;
  static constexpr int kReplyTimeoutMs = 3000;

 signals:
  // The user chose one of our notifications (its default action).
  void Activated();

 private slots:
  void OnActionInvoked(uint id, const QString& action);
  void OnNotificationClosed(uint id, uint reason);

 private:
  QDBusConnection& Bus();
  void Send(const QString& body);
  // Runs `answered` once the call has its answer, an error or a timeout.
  void Expect(const QDBusPendingCall& call, std::function<void(const QDBusPendingCall&)> answered);

  std::optional<QDBusConnection> bus_;
  bool listening_ = false;
  int pending_ = 0;
  QSet<uint> shown_;  // ids of our notifications the service still shows
};

}  // namespace zelto
