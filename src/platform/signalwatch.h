#pragma once

#include <QObject>

class QSocketNotifier;

namespace zelto {

// Turns SIGTERM, SIGHUP and SIGINT into a Qt signal on the window thread.
// The handler only writes the signal number into a socket pair; the window
// thread reads it there, so nothing unsafe runs inside the handler. One
// watch at a time; the default handling comes back when it is destroyed.
class SignalWatch : public QObject {
  Q_OBJECT

 public:
  explicit SignalWatch(QObject* parent = nullptr);
  ~SignalWatch() override;

  bool IsActive() const { return notifier_ != nullptr; }

 signals:
  void Received(int signalNumber);

 private:
  void ReadPending();
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace zelto
