#include "mainwindow/autosave.h"

#include <QMetaObject>
#include <cerrno>
#include <exception>
#include <utility>

namespace zelto {

Autosave::Autosave(std::filesystem::path folder, MakeBytes makeBytes, Allowed allowed,
                   Failed failed, QObject* parent)
    : QObject(parent),
      folder_(std::move(folder)),
      makeBytes_(std::move(makeBytes)),
      allowed_(std::move(allowed)),
      failed_(std::move(failed)) {
  timer_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, this, &Autosave::SaveNow);
  writer_ = std::thread([this] { Run(); });
}

Autosave::~Autosave() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
  writer_.join();  // a save under way is finished, not cut short
}

void Autosave::Changed() {
  if (stopped_ || !allowed_()) return;
  timer_.start(kDelayMs);
}

void Autosave::SaveNow() {
  if (stopped_ || !allowed_()) return;
  if (ReadyToWrite && !ReadyToWrite()) return;
  if (stopped_ || !allowed_()) return;  // the look at the data file may have asked
  std::optional<SaveBytes> bytes;
  try {
    bytes = makeBytes_();
  } catch (const std::exception&) {
    SaveWriteResult result;  // out of memory while formatting
    result.failedFile = folder_;
    result.error = ENOMEM;
    SaveBytes none;
    Finished(result, none);
    return;
  }
  {
    std::lock_guard lock(mutex_);
    if (!queued_) ++handedOver_;  // else the newer bytes take the older one's place
    queued_ = std::move(bytes);
  }
  wake_.notify_all();
}

void Autosave::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return quit_ || queued_.has_value(); });
    if (!queued_) return;
    auto bytes = std::make_shared<SaveBytes>(std::move(*queued_));
    queued_.reset();
    writing_ = true;
    lock.unlock();
    const SaveWriteResult result = WriteSaveFiles(*bytes, folder_);
    lock.lock();
    writing_ = false;
    idle_.notify_all();
    finished_.emplace_back(result, std::move(bytes));
    QMetaObject::invokeMethod(this, &Autosave::Deliver, Qt::QueuedConnection);
  }
}

void Autosave::Finished(const SaveWriteResult& result, SaveBytes& bytes) {
  if (WriteEnded) WriteEnded(result, bytes);
  if (result.Saved()) {
    failureShown_ = false;
  } else if (!result.changedOnDisk) {  // not a failure: the window merges, then saves
    if (!stopped_ && !timer_.isActive()) timer_.start(kRetryMs);
    if (!failureShown_) {
      failureShown_ = true;
      if (failed_) failed_(result);
    }
  }
  emit Written(result.Saved());
}

void Autosave::Deliver() {
  for (;;) {
    std::pair<SaveWriteResult, std::shared_ptr<SaveBytes>> done;
    {
      std::lock_guard lock(mutex_);
      if (finished_.empty()) return;
      done = std::move(finished_.front());
      finished_.pop_front();
    }
    --handedOver_;
    Finished(done.first, *done.second);
  }
}

void Autosave::WaitIdle() {
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [this] { return !queued_ && !writing_; });
}

void Autosave::Settle() {
  timer_.stop();
  {
    std::lock_guard lock(mutex_);
    if (queued_) --handedOver_;
    queued_.reset();  // the window's own save carries the newer bytes
  }
  WaitIdle();
  // The window's save must know what this one wrote before it writes.
  Deliver();
}

void Autosave::ExplicitSaveEnded(bool saved) {
  if (saved) failureShown_ = false;
}

void Autosave::Stop() {
  stopped_ = true;
  Settle();
}

}  // namespace zelto
