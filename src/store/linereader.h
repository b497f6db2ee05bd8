#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

namespace zelto {

// Walks the lines of a byte buffer without copying them. A line ends at LF;
// one CR right before the LF (or before the end of the buffer) belongs to the
// line end, so CR LF and LF-only files read alike, and any other CR stays in
// the line. A buffer without a single LF has lines that end at CR alone (as
// old Mac editors write them). Bytes after the last line end form one more
// line; the buffer's end itself does not.
class LineReader {
 public:
  explicit LineReader(std::string_view bytes)
      : bytes_(bytes),
        end_(bytes.empty() || std::memchr(bytes.data(), '\n', bytes.size()) != nullptr ? '\n'
                                                                                       : '\r') {}

  // True when every line has been read: the data file's "end of file".
  bool AtEnd() const { return pos_ >= bytes_.size(); }

  // The next line; must not be called at the end.
  std::string_view Next() {
    const std::string_view line = LineAt(pos_, pos_);
    return line;
  }

  // Where the next line starts, and a way past lines that a caller read
  // itself from Bytes(); `position` must be the start of a line.
  std::size_t Position() const { return pos_; }
  void SkipTo(std::size_t position) { pos_ = position; }
  std::string_view Bytes() const { return bytes_; }
  // True when lines end at LF, so that CR LF pairs end them too.
  bool EndsAtLf() const { return end_ == '\n'; }

  // The line that Next would return, without consuming it.
  std::string_view Peek() const {
    std::size_t ignored;
    return LineAt(pos_, ignored);
  }

 private:
  std::string_view LineAt(std::size_t start, std::size_t& after) const {
    const char* begin = bytes_.data() + start;
    const std::size_t left = bytes_.size() - start;
    const void* found = std::memchr(begin, end_, left);
    std::size_t length;
    if (found != nullptr) {
      length = static_cast<std::size_t>(static_cast<const char*>(found) - begin);
      after = start + length + 1;
    } else {
      length = left;
      after = bytes_.size();
    }
    if (length > 0 && begin[length - 1] == '\r') --length;
    return {begin, length};
  }

  std::string_view bytes_;
  char end_;  // the byte that ends a line: LF, or CR in a file without LF
  std::size_t pos_ = 0;
};

}  // namespace zelto
