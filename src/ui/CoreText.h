#pragma once
// The widget boundary: the core's Windows-1252 bytes to and from Qt's text.

#include "platform/Text.h"

#include <QString>
#include <string>

inline QString FromCore(const std::string& bytes) {
    return QString::fromStdString(Platform::Cp1252ToUtf8(bytes));
}
inline std::string ToCore(const QString& text) {
    return Platform::Utf8ToCp1252(text.toStdString());
}
