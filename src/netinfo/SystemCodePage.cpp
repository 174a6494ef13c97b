#include "netinfo/SystemCodePage.h"

#include <cerrno>
#include <iconv.h>

namespace zarq {

namespace {

bool isAscii(const QString& text) {
    for (QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

// Converts one character (one or two UTF-16 units, as UTF-8 bytes); false when CP936 has no
// code for it.
bool convertOne(iconv_t cd, const QByteArray& utf8, QByteArray& out) {
    char buffer[8];
    char* in = const_cast<char*>(utf8.constData());
    size_t inLeft = size_t(utf8.size());
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) == size_t(-1))
        return false;
    out.append(buffer, qsizetype(outPtr - buffer));
    return true;
}

} // namespace

QByteArray toSystemCodePage(const QString& text) {
    // Interface names, addresses and identities are nearly always plain ASCII.
    if (isAscii(text))
        return text.toLatin1();

    QByteArray out;
    iconv_t cd = iconv_open("CP936", "UTF-8");
    if (cd == iconv_t(-1)) {
        for (QChar c : text)
            out.append(c.unicode() < 0x80 ? char(c.unicode()) : '?');
        return out;
    }
    for (qsizetype i = 0; i < text.size(); ++i) {
        qsizetype length = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString one = text.mid(i, length);
        if (!convertOne(cd, one.toUtf8(), out))
            out.append('?');
        i += length - 1;
    }
    iconv_close(cd);
    return out;
}

} // namespace zarq
