#pragma once

#include <QString>

namespace zarq {

// The simple value kinds of the control file.
class ValueKinds {
public:
    // Decimal with an optional sign, or hexadecimal as "$digits", "0xdigits" or "0Xdigits"
    // (up to eight digits, read as a 32-bit pattern). Anything else, or a decimal outside the
    // 32-bit range, gives `def`.
    static int ParseInteger(const QString& text, int def);
    // Every backslash + "n" becomes a carriage return (a line break in a message box).
    static QString ExpandLines(const QString& text);
};

} // namespace zarq
