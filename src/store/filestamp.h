#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

namespace zelto {

// What a version of the data file looked like on disk: enough to tell,
// usually without reading it, whether the file is still the one the program
// last loaded or saved.
struct FileStamp {
  bool present = false;
  std::uint64_t size = 0;
  std::int64_t mtimeNs = 0;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::uint64_t hash = 0;  // of the bytes; HashBytes

  // The same file, untouched since: no need to read it.
  bool SameMetadata(const FileStamp& other) const {
    return present == other.present && size == other.size && mtimeNs == other.mtimeNs &&
           device == other.device && inode == other.inode;
  }
  // The same bytes, whatever the metadata (a touch, a copy of the same file).
  bool SameContent(const FileStamp& other) const {
    return present == other.present && size == other.size && hash == other.hash;
  }
};

// A fast non-cryptographic 64-bit hash: only another version of the same
// file is ever compared with it, never a crafted one.
std::uint64_t HashBytes(std::string_view bytes);

// The stamp of `file` (links followed) without its hash; not present when
// nothing is there or the system refuses to say.
FileStamp StatStamp(const std::filesystem::path& file);

}  // namespace zelto
