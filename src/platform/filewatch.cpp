#include "platform/filewatch.h"

#include <QFile>

namespace zelto {

FileWatch::FileWatch(QObject* parent) : QObject(parent) {
  quiet_.setSingleShot(true);
  quiet_.setInterval(kQuietMs);
  connect(&quiet_, &QTimer::timeout, this, &FileWatch::Changed);
  connect(&watcher_, &QFileSystemWatcher::fileChanged, this, &FileWatch::Event);
  connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, &FileWatch::Event);
}

void FileWatch::Watch(const std::vector<std::filesystem::path>& paths) {
  paths_.clear();
  for (const auto& path : paths) paths_ << QFile::decodeName(path.c_str());
  paths_.removeDuplicates();
  QStringList stale;
  for (const QString& path : watcher_.files() + watcher_.directories())
    if (!paths_.contains(path)) stale << path;
  if (!stale.isEmpty()) watcher_.removePaths(stale);
  Rewatch();
}

void FileWatch::Rewatch() {
  const QStringList watched = watcher_.files() + watcher_.directories();
  QStringList fresh;
  for (const QString& path : paths_)
    if (!watched.contains(path)) fresh << path;
  // A path that is not there yet is refused quietly; the next event of its
  // folder tries it again.
  if (!fresh.isEmpty()) (void)watcher_.addPaths(fresh);
}

void FileWatch::Event() {
  // A file replaced by a rename leaves the watch on its old inode: every
  // file is watched afresh, by its name.
  const QStringList files = watcher_.files();
  if (!files.isEmpty()) watcher_.removePaths(files);
  Rewatch();
  quiet_.start();
}

}  // namespace zelto
