#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <filesystem>
#include <vector>

namespace zelto {

// Tells when files or the folders holding them change. A burst of events (a
// sync program writes, renames and touches in quick succession) is told
// once, a moment after the last of them.
class FileWatch : public QObject {
  Q_OBJECT

 public:
  static constexpr int kQuietMs = 250;

  explicit FileWatch(QObject* parent = nullptr);

  // Watches exactly these (files that are missing are watched from the
  // moment they appear: their folders should be among `paths`).
  void Watch(const std::vector<std::filesystem::path>& paths);

 signals:
  void Changed();

 private:
  void Event();
  void Rewatch();

  QFileSystemWatcher watcher_;
  QStringList paths_;
  QTimer quiet_;
};

}  // namespace zelto
