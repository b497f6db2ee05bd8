#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "store/ports.h"

namespace zelto::test {

// A clock that stands still until told to move.
class FakeClock : public Clock {
 public:
  explicit FakeClock(DateTime now = DateTime()) : now_(now) {}
  DateTime Now() const override { return now_; }
  void Set(DateTime now) { now_ = now; }
  void AdvanceHours(int64_t hours) { now_ = now_.AddHours(hours); }

 private:
  DateTime now_;
};

// A fresh folder under the system temp dir, removed again at destruction.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

std::string ReadFileBytes(const std::filesystem::path& file);
void WriteFileBytes(const std::filesystem::path& file, std::string_view bytes);

// A data-file record of the newest format: due at `hour` of every day.
std::string Record(int id, const std::string& text, const std::string& dates,
                   const std::string& rule, int hour);

// Date-time literal for tests; aborts the test on an invalid date.
DateTime At(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

}  // namespace zelto::test
