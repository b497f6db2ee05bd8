#pragma once

#include <cstdint>

namespace zelto {

// The file of the pictures' pixels, made at build time (tools/picture_pixels).
inline constexpr char kPicturePixelsMagic[8] = {'Z', 'P', 'I', 'X', 'E', 'L', 'S', '1'};

struct PicturePixelsEntry {
  char name[32];  // the PNG's file name, "new@2x.png"
  int32_t width, height;
  int32_t format;  // a QImage::Format
  int32_t bytesPerLine;
  int32_t reserved;
  int32_t ratioPermille;  // the device pixel ratio that "@2x" in a name gives
  uint64_t offset, size;  // from the file's start
};

}  // namespace zelto
