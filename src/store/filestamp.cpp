#include "store/filestamp.h"

#include <sys/stat.h>

#include <cstring>

#include "store/filebytes.h"

namespace zelto {
namespace {

constexpr std::uint64_t kMul1 = 0x9E3779B97F4A7C15ull;
constexpr std::uint64_t kMul2 = 0xC2B2AE3D27D4EB4Full;

std::uint64_t Mix(std::uint64_t value) {
  value ^= value >> 31;
  value *= kMul2;
  value ^= value >> 29;
  return value;
}

}  // namespace

std::uint64_t HashBytes(std::string_view bytes) {
  // Four independent lanes, so that the multiplications overlap: a 4 MB
  // file hashes in well under a millisecond.
  std::uint64_t lane[4] = {kMul1, kMul2, kMul1 ^ kMul2, bytes.size()};
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left >= 32) {
    for (std::uint64_t& h : lane) {
      std::uint64_t word;
      std::memcpy(&word, p, 8);
      h = (h ^ (word * kMul1)) * kMul2;
      h ^= h >> 32;
      p += 8;
    }
    left -= 32;
  }
  std::uint64_t h = kMul2 ^ left;
  for (const std::uint64_t value : lane) h = Mix(h ^ Mix(value)) * kMul1;
  for (; left >= 8; left -= 8, p += 8) {
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    h = Mix(h ^ word) * kMul1;
  }
  std::uint64_t tail = 0;  // at most seven bytes: none is shifted out
  for (std::size_t i = 0; i < left; ++i) tail = (tail << 8) | static_cast<unsigned char>(p[i]);
  return Mix(Mix(h ^ tail) * kMul2);
}

FileStamp StatStamp(const std::filesystem::path& file) {
  struct stat info {};
  FileStamp stamp;
  if (::stat(file.c_str(), &info) != 0) return stamp;
  stamp.present = true;
  stamp.size = static_cast<std::uint64_t>(info.st_size);
  stamp.mtimeNs =
      static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
  stamp.device = info.st_dev;
  stamp.inode = info.st_ino;
  return stamp;
}

DiskCheck CheckFile(const std::filesystem::path& file, const FileStamp& known) {
  DiskCheck check;
  const FileStamp now = StatStamp(file);
  if (now.SameMetadata(known)) {
    check.stamp = known;
    return check;
  }
  check.read = ReadRegularFile(file);
  if (check.read.problem == ReadProblem::None) {
    // The metadata of the file as it was opened, not as stat saw it before.
    check.stamp = check.read.stamp;
    check.stamp.hash = HashBytes(check.read.bytes.View());
    check.changed = !check.stamp.SameContent(known);
  } else {
    check.stamp = now;
    check.changed = known.present || check.read.problem != ReadProblem::Missing;
  }
  return check;
}

}  // namespace zelto
