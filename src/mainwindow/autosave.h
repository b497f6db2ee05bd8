#pragma once

#include <QObject>
#include <QTimer>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "store/datafile.h"

namespace zelto {

// Saves the task table by itself a moment after the last change, so that a
// crash, a power cut or a killed process loses at most the last seconds.
// The window thread makes the bytes; one writer thread of its own writes
// and syncs them, one save at a time, so that a slow disk never freezes the
// window and two saves never mix their files.
class Autosave : public QObject {
  Q_OBJECT

 public:
  using MakeBytes = std::function<SaveBytes()>;
  using Allowed = std::function<bool()>;
  // Told once of the first failure of a run of failed automatic saves.
  using Failed = std::function<void(const SaveWriteResult&)>;

  static constexpr int kDelayMs = 2000;
  // After a failure the save is tried again without a further change.
  static constexpr int kRetryMs = 60000;

  Autosave(std::filesystem::path folder, MakeBytes makeBytes, Allowed allowed, Failed failed,
           QObject* parent = nullptr);
  ~Autosave() override;

  // The table changed: save once no other change has come for a moment.
  void Changed();
  // Before a save of the window's own: no automatic save is pending any
  // more, and none is being written when this returns.
  void Settle();
  // A save of the window's own ended; a success ends a run of failures.
  void ExplicitSaveEnded(bool saved);
  // For good, at the program's end: as Settle, and no later change saves.
  void Stop();

  // Makes the bytes and hands them to the writer at once, as the end of
  // the moment after a change does; all that the window thread spends.
  void SaveNow();

  bool Pending() const { return timer_.isActive(); }
  // Bytes were handed to the writer and its report has not come back yet.
  bool Busy() const { return handedOver_ > 0; }

  // Asked just before the bytes are made; false skips this save (the data
  // file has to be looked at first).
  std::function<bool()> ReadyToWrite;
  // Told of every write that ended, with the bytes it wrote.
  std::function<void(const SaveWriteResult&, SaveBytes&)> WriteEnded;
  // Waits until the writer has nothing left to write.
  void WaitIdle();

 signals:
  // The writer finished one save (on the window thread).
  void Written(bool saved);

 private:
  void Run();
  void Finished(const SaveWriteResult& result, SaveBytes& bytes);
  // Reports the writes that ended, on the window thread.
  void Deliver();

  std::filesystem::path folder_;
  MakeBytes makeBytes_;
  Allowed allowed_;
  Failed failed_;
  QTimer timer_;
  bool stopped_ = false;
  bool failureShown_ = false;  // the current run of failures was reported
  int handedOver_ = 0;         // writes whose report is still to come

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::optional<SaveBytes> queued_;  // a newer save replaces one not yet begun
  std::deque<std::pair<SaveWriteResult, std::shared_ptr<SaveBytes>>> finished_;
  bool writing_ = false;
  bool quit_ = false;
  std::thread writer_;
};

}  // namespace zelto
