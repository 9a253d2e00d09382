#pragma once

#include <QString>
#include <string_view>

#include "text/encoding.h"

namespace tavolen {

// The window shows and reads Unicode; the rest of the system works in code page 936.
inline QString to_qstring(std::string_view text) {
    return QString::fromStdU16String(ansi_to_u16string(text));
}

inline Text to_text(const QString& text) {
    return u16string_to_ansi(text.toStdU16String());
}

}  // namespace tavolen
