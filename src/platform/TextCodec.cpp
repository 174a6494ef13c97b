#include "platform/TextCodec.h"

#include <QList>

#include <algorithm>
#include <cerrno>
#include <iconv.h>
#include <stdexcept>
#include <string>

namespace zarq {

namespace {

// One conversion descriptor, closed on every path.
class Iconv {
public:
    Iconv(const char* to, const char* from) {
        m_cd = iconv_open(to, from);
        if (m_cd == reinterpret_cast<iconv_t>(-1) && std::string(from) == "CP936")
            m_cd = iconv_open(to, "GBK");
        if (m_cd == reinterpret_cast<iconv_t>(-1) && std::string(to) == "CP936")
            m_cd = iconv_open("GBK", from);
        if (m_cd == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error("code page 936 is not available from iconv");
    }
    ~Iconv() { iconv_close(m_cd); }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    // Converts one unit at a time on failure so that a bad unit costs one replacement only.
    QByteArray run(const char* in, size_t inLeft, size_t badUnit, const QByteArray& replacement) {
        QByteArray out;
        out.reserve(static_cast<qsizetype>(inLeft * 2 + 8));
        char buffer[512];
        while (inLeft > 0) {
            char* src = const_cast<char*>(in);
            char* dst = buffer;
            size_t dstLeft = sizeof buffer;
            const size_t rc = iconv(m_cd, &src, &inLeft, &dst, &dstLeft);
            out.append(buffer, static_cast<qsizetype>(sizeof buffer - dstLeft));
            in = src;
            if (rc != static_cast<size_t>(-1))
                break;
            if (errno == E2BIG)
                continue;
            // EILSEQ or EINVAL (a truncated sequence at the end): replace and step over.
            out.append(replacement);
            const size_t step = inLeft < badUnit ? inLeft : badUnit;
            in += step;
            inLeft -= step;
            iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        }
        return out;
    }

private:
    iconv_t m_cd;
};

bool isBlank(uint code) {
    return code <= 32;
}

} // namespace

QByteArray TextCodec::toCp936(const QString& text) {
    if (text.isEmpty())
        return {};
    // UCS-4 input lets a bad character be skipped as exactly one unit.
    const QList<uint> ucs4 = text.toUcs4();
    Iconv cd("CP936", "UCS-4LE");
    QByteArray in;
    in.reserve(ucs4.size() * 4);
    for (uint c : ucs4) {
        for (int i = 0; i < 4; ++i)
            in.append(static_cast<char>((c >> (8 * i)) & 0xff));
    }
    return cd.run(in.constData(), static_cast<size_t>(in.size()), 4, QByteArray("?"));
}

QString TextCodec::fromCp936(const QByteArray& bytes) {
    if (bytes.isEmpty())
        return {};
    // Code page 936 keeps ASCII as it is, and most texts (names, keys, addresses) are ASCII
    // only: they need no conversion descriptor, which costs more to open than they to convert.
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) < 0x80; }))
        return QString::fromLatin1(bytes);
    Iconv cd("UTF-8", "CP936");
    const QByteArray utf8 =
        cd.run(bytes.constData(), static_cast<size_t>(bytes.size()), 1, QByteArray("\xEF\xBF\xBD"));
    return QString::fromUtf8(utf8);
}

bool TextCodec::isUtf8(const QByteArray& bytes) {
    // Valid UTF-8 comes back byte for byte; anything else was replaced on the way. (The
    // decoder drops a byte order mark, so it is set aside first.)
    const QByteArray text = bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
    return QString::fromUtf8(text).toUtf8() == text;
}

QString TextCodec::fromUtf8OrCp936(const QByteArray& bytes) {
    const QByteArray text = bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
    const QString decoded = QString::fromUtf8(text);
    // The same test as isUtf8, with the decoded text kept.
    return decoded.toUtf8() == text ? decoded : fromCp936(bytes);
}

QByteArray TextCodec::trimmed(const QByteArray& bytes) {
    qsizetype begin = 0;
    qsizetype end = bytes.size();
    while (begin < end && isBlank(static_cast<uchar>(bytes[begin])))
        ++begin;
    while (end > begin && isBlank(static_cast<uchar>(bytes[end - 1])))
        --end;
    return bytes.mid(begin, end - begin);
}

QString TextCodec::trimmed(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin].unicode()))
        ++begin;
    while (end > begin && isBlank(text[end - 1].unicode()))
        --end;
    return text.mid(begin, end - begin);
}

} // namespace zarq
