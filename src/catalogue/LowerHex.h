#pragma once

#include <QByteArray>

// Whether text is exactly `digits` lower-case hexadecimal digits, as our secrets and hashes are
// written to their files.
inline bool isLowerHex(const QByteArray& text, qsizetype digits) {
    if (text.size() != digits)
        return false;
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}
