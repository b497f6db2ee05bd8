#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace zelto {

// Task text is kept as the file's bytes. For display it is read as UTF-8
// when it is valid UTF-8, otherwise as Windows-1252, the code page that
// older versions wrote. Only text the user edits is encoded again (UTF-8),
// so an untouched task keeps its exact bytes.
QString DecodeText(std::string_view bytes);
std::string EncodeText(const QString& text);

}  // namespace zelto
