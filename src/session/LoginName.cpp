#include "session/LoginName.h"

#include "platform/TextCodec.h"

#include <QList>

namespace zarq {

namespace {

QString codePoint(char32_t c) {
    return QStringLiteral("U+%1").arg(static_cast<uint>(c), 4, 16, QLatin1Char('0')).toUpper();
}

bool isControl(char32_t c) {
    return c < 0x20 || (c >= 0x7f && c <= 0x9f);
}

} // namespace

bool LoginName::isRefused(QChar c) {
    const char16_t u = c.unicode();
    return isControl(u) || c.isSpace() || u == u'&' || u == u'?' || u == u'#' || u == u'/';
}

QString LoginName::problem(const QString& name) {
    for (const QChar c : name) {
        if (!isRefused(c))
            continue;
        if (isControl(c.unicode()))
            return QStringLiteral("it holds a control character (%1)").arg(codePoint(c.unicode()));
        if (c.isSpace())
            return c == u' ' ? QStringLiteral("it holds a blank")
                             : QStringLiteral("it holds a blank (%1)").arg(codePoint(c.unicode()));
        return QStringLiteral("it holds \"%1\"").arg(c);
    }
    // The request carries code page 936 bytes; a character the code page cannot hold would
    // arrive as "?", which starts a query of its own.
    const QByteArray bytes = TextCodec::toCp936(name);
    if (TextCodec::fromCp936(bytes) != name) {
        for (const uint code : name.toUcs4()) {
            const auto c = static_cast<char32_t>(code);
            const QString one = QString::fromUcs4(&c, 1);
            if (TextCodec::fromCp936(TextCodec::toCp936(one)) != one)
                return QStringLiteral("it holds a character the request cannot carry (%1)")
                    .arg(codePoint(c));
        }
        return QStringLiteral("it holds a character the request cannot carry");
    }
    return QString();
}

QString LoginName::withoutRefused(const QString& name) {
    QString kept;
    kept.reserve(name.size());
    for (const QChar c : name) {
        if (!isRefused(c))
            kept.append(c);
    }
    return kept;
}

QString LoginName::shown(const QString& name) {
    QString out;
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        if (u == u'\r')
            out += QStringLiteral("\\r");
        else if (u == u'\n')
            out += QStringLiteral("\\n");
        else if (u == u'\t')
            out += QStringLiteral("\\t");
        else if (isControl(u))
            out += QStringLiteral("\\x%1").arg(static_cast<uint>(u), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

} // namespace zarq
