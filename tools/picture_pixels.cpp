// Decodes the program's PNG pictures once, at build time, into one file of
// their pixels, as the PNG reader gives them: the program copies them from
// there instead of inflating and unfiltering two dozen PNGs at each start.
//
//   picture_pixels <out.bin> <picture.png>...
//
// The file: "ZPIXELS1", a count, a table of entries, then each picture's
// pixels, row after row. Written for the machine that builds it, which is
// the one that runs the program.
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

#include "look/picturepixels.h"

int main(int argc, char* argv[]) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: picture_pixels <out.bin> <picture.png>...\n");
    return 2;
  }
  std::vector<zelto::PicturePixelsEntry> entries;
  std::vector<QImage> images;
  for (int i = 2; i < argc; ++i) {
    QImageReader reader(QString::fromLocal8Bit(argv[i]), "png");
    reader.setAutoDetectImageFormat(false);
    QImage image;
    const QByteArray name = QFileInfo(QString::fromLocal8Bit(argv[i])).fileName().toUtf8();
    // True colour only: a palette would need its table kept beside the rows.
    if (!reader.read(&image) || image.colorCount() > 0 ||
        name.size() >= int(sizeof(zelto::PicturePixelsEntry::name))) {
      std::fprintf(stderr, "picture_pixels: cannot take %s\n", argv[i]);
      return 1;
    }
    zelto::PicturePixelsEntry entry{};
    std::memcpy(entry.name, name.constData(), static_cast<size_t>(name.size()));
    entry.width = image.width();
    entry.height = image.height();
    entry.format = image.format();
    entry.bytesPerLine = static_cast<int32_t>(image.bytesPerLine());
    entry.ratioPermille = static_cast<int32_t>(image.devicePixelRatio() * 1000 + 0.5);
    entries.push_back(entry);
    images.push_back(image);
  }
  uint64_t offset = sizeof(zelto::kPicturePixelsMagic) + 8 + entries.size() * sizeof(entries[0]);
  for (size_t i = 0; i < entries.size(); ++i) {
    offset = (offset + 15) / 16 * 16;
    entries[i].offset = offset;
    entries[i].size = static_cast<uint64_t>(images[i].sizeInBytes());
    offset += entries[i].size;
  }
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  const uint32_t count = static_cast<uint32_t>(entries.size()), reserved = 0;
  out.write(zelto::kPicturePixelsMagic, sizeof(zelto::kPicturePixelsMagic));
  out.write(reinterpret_cast<const char*>(&count), sizeof count);
  out.write(reinterpret_cast<const char*>(&reserved), sizeof reserved);
  out.write(reinterpret_cast<const char*>(entries.data()),
            static_cast<std::streamsize>(entries.size() * sizeof(entries[0])));
  for (size_t i = 0; i < entries.size(); ++i) {
    const std::streamsize padding =
        static_cast<std::streamsize>(entries[i].offset) - static_cast<std::streamsize>(out.tellp());
    for (std::streamsize k = 0; k < padding; ++k) out.put('\0');
    out.write(reinterpret_cast<const char*>(images[i].constBits()),
              static_cast<std::streamsize>(images[i].sizeInBytes()));
  }
  return out.good() ? 0 : 1;
}
