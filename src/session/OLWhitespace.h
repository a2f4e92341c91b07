#pragma once

#include <QChar>

// The white-space-and-newline class used to split command lines and source
// text into words. Every member is a single UTF-16 code unit, which keeps
// word offsets exact.
constexpr bool isWhitespaceOrNewline(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 0x09 && u <= 0x0D) || u == 0x20 || u == 0x85 || u == 0xA0 || u == 0x1680
        || (u >= 0x2000 && u <= 0x200A) || u == 0x2028 || u == 0x2029 || u == 0x202F
        || u == 0x205F || u == 0x3000;
}
