#include "platform/instancelock.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QThread>

namespace zelto {

namespace {

// The lock file's name for Qt. A folder whose name is not UTF-8 has no
// QString that names it, so its lock is reached through a descriptor of the
// folder, whose name under /proc is plain ASCII.
QString LockFilePath(const std::filesystem::path& folder, int& folderFd) {
  const QByteArray bytes(folder.c_str());
  const QString name = QFile::decodeName(bytes);
  if (QFile::encodeName(name) == bytes)
    return QDir(name).filePath(QString::fromLatin1(InstanceLock::kLockFileName));
  folderFd = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  return QStringLiteral("/proc/self/fd/%1/%2")
      .arg(folderFd)
      .arg(QString::fromLatin1(InstanceLock::kLockFileName));
}

}  // namespace

InstanceLock::InstanceLock(const std::filesystem::path& folder)
    : lock_(std::make_unique<QLockFile>(LockFilePath(folder, folderFd_))) {
  // A lock is stale only when its process is gone, never merely because it
  // is old: the running instance holds it for weeks, and not every file
  // system keeps the advisory lock that would otherwise protect it.
  lock_->setStaleLockTime(0);
}

InstanceLock::~InstanceLock() {
  lock_.reset();  // unlocks through the folder's descriptor
  if (folderFd_ >= 0) ::close(folderFd_);
}

QString InstanceLock::FilePath() const {
  return lock_->fileName();
}

InstanceLock::Result InstanceLock::Acquire() {
  // Two tries: a lock file whose owner cannot be read may be one that
  // another instance created a moment ago and has not written yet.
  for (int attempt = 0; attempt < 2; ++attempt) {
    // tryLock removes a lock whose process is gone, so a crash never blocks.
    if (lock_->tryLock(0)) return Result::Acquired;
    if (lock_->error() != QLockFile::LockFailedError) return Result::Unavailable;
    qint64 pid = 0;
    QString host;
    QString app;
    if (lock_->getLockInfo(&pid, &host, &app)) return Result::AlreadyRunning;
    QThread::msleep(100);
  }
  // Something that is no lock of ours is in the way (a folder of that name,
  // an unreadable file): that is not a running instance.
  return Result::Unavailable;
}

}  // namespace zelto
