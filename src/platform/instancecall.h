#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <filesystem>

class QSocketNotifier;

namespace zelto {

// How a second start asks the running copy to come forward: the copy that
// holds the instance lock listens on a local socket named after its data
// folder, and a refused start sends it one short request before it ends.
class InstanceCall : public QObject {
  Q_OBJECT

 public:
  explicit InstanceCall(QObject* parent = nullptr);
  ~InstanceCall() override;

  // The socket for a data folder (the system's bytes): in $XDG_RUNTIME_DIR,
  // or, without a usable one, in the temporary folder under a name that
  // carries the user's id as well.
  static QString ChannelName(const std::filesystem::path& dataFolder);

  // Only for the holder of the instance lock: whatever is at `name` is left
  // over from a copy that has ended, and is replaced. False when nothing
  // can listen there; the program runs on, it just cannot be called.
  bool Listen(const QString& name);

  // The refused start's side: whether a running copy took the request.
  // Never waits long; nobody listening is an answer, not an error.
  static bool Call(const QString& name);

 signals:
  // A second start asked for the window.
  void Called();

 private:
  class Caller;
  // Stops listening and gives the name up.
  void Close();

  int listener_ = -1;
  QSocketNotifier* notifier_ = nullptr;
  QByteArray path_;
};

}  // namespace zelto
