#include "look/pictures.h"

#include <QFont>
#include <QImage>
#include <QPixmap>
#include <QResource>
#include <QWidget>
#include <cstring>
#include <vector>

#include "look/picturepixels.h"
#include "look/stylesheet.h"

// Linked from a static library, the resource would not register itself;
// the macro only works outside a namespace.
static void RegisterPicturePixels() {
  Q_INIT_RESOURCE(picture_pixels_resource);
}

namespace zelto {
namespace {

// The pixels of every picture as the build decoded them from the PNGs, read
// in place from the program's resources.
class Pixels {
 public:
  static constexpr int kLargest = 1024;  // pixels a side
  static const Pixels& Get() {
    static const Pixels pixels;
    return pixels;
  }

  // The picture of that file name, or a null image when the build has none
  // (or the file is damaged: every entry is checked against its size).
  QImage Image(QLatin1String fileName) const {
    for (const PicturePixelsEntry& entry : entries_) {
      if (fileName != QLatin1String(entry.name)) continue;
      if (entry.format <= QImage::Format_Invalid || entry.format >= QImage::NImageFormats ||
          entry.width <= 0 || entry.width > kLargest || entry.height <= 0 ||
          entry.height > kLargest)
        return {};
      QImage image(entry.width, entry.height, static_cast<QImage::Format>(entry.format));
      const auto rows = static_cast<uint64_t>(image.sizeInBytes());
      if (image.isNull() || image.bytesPerLine() != entry.bytesPerLine || entry.size != rows ||
          entry.offset > size_ || size_ - entry.offset < entry.size)
        return {};
      // Copied, not wrapped: the resource's bytes need not be aligned.
      std::memcpy(image.bits(), data_ + entry.offset, rows);
      image.setDevicePixelRatio(entry.ratioPermille > 0 ? entry.ratioPermille / 1000.0 : 1.0);
      return image;
    }
    return {};
  }

 private:
  Pixels() {
    RegisterPicturePixels();
    const QResource file(QStringLiteral(":/pixels/pictures.bin"));
    if (!file.isValid() || file.compressionAlgorithm() != QResource::NoCompression) return;
    data_ = file.data();
    size_ = static_cast<uint64_t>(file.size());
    uint32_t count = 0;
    const uint64_t header = sizeof(kPicturePixelsMagic) + 8;
    if (size_ < header || std::memcmp(data_, kPicturePixelsMagic, sizeof kPicturePixelsMagic) != 0)
      return;
    std::memcpy(&count, data_ + sizeof(kPicturePixelsMagic), sizeof count);
    if (count > (size_ - header) / sizeof(PicturePixelsEntry)) return;
    entries_.resize(count);
    std::memcpy(entries_.data(), data_ + header, count * sizeof(PicturePixelsEntry));
    for (PicturePixelsEntry& entry : entries_) entry.name[sizeof entry.name - 1] = '\0';
  }

  const uchar* data_ = nullptr;
  uint64_t size_ = 0;
  std::vector<PicturePixelsEntry> entries_;
};

void AddPicture(QIcon& icon, const QString& fileName) {
  const QImage image = Pixels::Get().Image(QLatin1String(fileName.toLatin1()));
  if (!image.isNull()) icon.addPixmap(QPixmap::fromImage(image));
}

}  // namespace

QIcon Picture(const QString& name) {
  // Both sizes by hand: QIcon looks for the "@2x" file only when the
  // program starts on a high-density screen, not when a window moves to one.
  QIcon icon;
  AddPicture(icon, name + ".png");
  AddPicture(icon, name + "@2x.png");
  return icon;
}

QIcon AppIcon() {
  QIcon icon;
  for (int size : {16, 32, 64, 128}) AddPicture(icon, QString("app%1.png").arg(size));
  return icon;
}

void UseDesignFont(QWidget* window) {
  QFont font = window->font();
  font.setPointSizeF(8);
  // The positions leave room for a narrow face; most desktops have a
  // condensed cut of their sans font, and fall back to the normal one.
  font.setStretch(QFont::SemiCondensed);
  window->setFont(font);
}

void UseDesignLook(QWidget* widget) {
  widget->setStyleSheet(kDesignStyleSheet);
  // Set on every control: under a style sheet a widget's font no longer
  // reaches its children. Hence this runs once the controls exist.
  UseDesignFont(widget);
  const QFont font = widget->font();
  for (QWidget* child : widget->findChildren<QWidget*>()) child->setFont(font);
}

}  // namespace zelto
