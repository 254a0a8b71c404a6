#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace clientqt {

// The engine's texts are UTF-8 bytes; a sequence that is not valid shows as a replacement mark.
inline QString toQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string toStdString(const QString& text) {
    return text.toUtf8().toStdString();
}

}  // namespace clientqt
