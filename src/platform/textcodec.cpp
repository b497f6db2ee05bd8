#include "platform/textcodec.h"

#include <QStringDecoder>

namespace zelto {

QString DecodeText(std::string_view bytes) {
  const auto size = static_cast<qsizetype>(bytes.size());
  QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
  QString text = utf8.decode(QByteArrayView(bytes.data(), size));
  if (!utf8.hasError()) return text;
  QStringDecoder cp1252("windows-1252");
  if (cp1252.isValid()) {
    text = cp1252.decode(QByteArrayView(bytes.data(), size));
    if (!cp1252.hasError()) return text;
  }
  return QString::fromLatin1(bytes.data(), size);
}

std::string EncodeText(const QString& text) {
  return text.toStdString();
}

}  // namespace zelto
