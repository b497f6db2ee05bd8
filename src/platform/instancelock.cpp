#include "platform/instancelock.h"

#include <QDir>
#include <QLockFile>
#include <QThread>

namespace zelto {

InstanceLock::InstanceLock(const QString& folder)
    : lock_(
          std::make_unique<QLockFile>(QDir(folder).filePath(QString::fromLatin1(kLockFileName)))) {
  // A lock is stale only when its process is gone, never merely because it
  // is old: the running instance holds it for weeks, and not every file
  // system keeps the advisory lock that would otherwise protect it.
  lock_->setStaleLockTime(0);
}

InstanceLock::~InstanceLock() = default;

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
