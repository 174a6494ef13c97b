#include "platform/RegistryDocument.h"

#include <QStringDecoder>
#include <QStringList>

namespace zarq {

namespace {

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Reads a quoted export string starting at `pos` (on the opening quote). Only \\ and \" are
// escapes in this format; any other backslash stands for itself.
bool readQuoted(const QString& line, qsizetype& pos, QString& out) {
    if (pos >= line.size() || line[pos] != u'"')
        return false;
    ++pos;
    out.clear();
    while (pos < line.size()) {
        const QChar c = line[pos];
        if (c == u'"') {
            ++pos;
            return true;
        }
        if (c == u'\\' && pos + 1 < line.size() &&
            (line[pos + 1] == u'\\' || line[pos + 1] == u'"')) {
            out.append(line[pos + 1]);
            pos += 2;
            continue;
        }
        out.append(c);
        ++pos;
    }
    return false;
}

QString quote(const QString& text) {
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == u'\\' || c == u'"')
            out.append(u'\\');
        out.append(c);
    }
    out.append(u'"');
    return out;
}

bool needsHexForm(const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    }
    return false;
}

QByteArray utf16le(const QString& text) {
    QByteArray out;
    for (const QChar c : text) {
        out.append(static_cast<char>(c.unicode() & 0xff));
        out.append(static_cast<char>(c.unicode() >> 8));
    }
    out.append('\0');
    out.append('\0');
    return out;
}

QString hexBytes(const QByteArray& bytes) {
    QStringList parts;
    parts.reserve(bytes.size());
    for (const char b : bytes)
        parts.append(QStringLiteral("%1").arg(static_cast<uchar>(b), 2, 16, QLatin1Char('0')));
    return parts.join(u',');
}

bool parseHexBytes(const QString& text, QByteArray& out) {
    out.clear();
    const QString body = text.trimmed();
    if (body.isEmpty())
        return true;
    for (const QString& part : body.split(u',')) {
        const QString token = part.trimmed();
        bool ok = false;
        const uint v = token.toUInt(&ok, 16);
        if (!ok || token.size() > 2 || v > 0xff)
            return false;
        out.append(static_cast<char>(v));
    }
    return true;
}

// Parses the data part of a value line ("..." / dword:... / hex...:...) into `value`.
QString parseData(const QString& data, RegistryValue& value) {
    if (data.startsWith(u'"')) {
        qsizetype pos = 0;
        QString text;
        if (!readQuoted(data, pos, text))
            return QStringLiteral("a string value has no closing quote");
        if (!data.mid(pos).trimmed().isEmpty())
            return QStringLiteral("unexpected text after a string value");
        value.type = RegSz;
        value.text = text;
        return {};
    }
    if (data.startsWith(QLatin1String("dword:"), Qt::CaseInsensitive)) {
        const QString digits = data.mid(6).trimmed();
        bool ok = false;
        const uint v = digits.toUInt(&ok, 16);
        if (!ok || digits.isEmpty() || digits.size() > 8 || digits.startsWith(u'+') ||
            digits.startsWith(u'-'))
            return QStringLiteral("a dword value needs 1 to 8 hexadecimal digits");
        value.type = RegDword;
        value.number = v;
        return {};
    }
    if (data.startsWith(QLatin1String("hex"), Qt::CaseInsensitive)) {
        const qsizetype colon = data.indexOf(u':');
        if (colon < 0)
            return QStringLiteral("a hex value needs a ':'");
        const QString kind = data.left(colon);
        quint32 type = RegBinary;
        if (kind.size() > 3) {
            bool ok = false;
            if (!kind.endsWith(u')') || kind[3] != u'(')
                return QStringLiteral("unknown value type '%1'").arg(kind);
            type = kind.mid(4, kind.size() - 5).toUInt(&ok, 16);
            if (!ok)
                return QStringLiteral("unknown value type '%1'").arg(kind);
        } else if (kind.compare(QLatin1String("hex"), Qt::CaseInsensitive) != 0) {
            return QStringLiteral("unknown value type '%1'").arg(kind);
        }
        QByteArray bytes;
        if (!parseHexBytes(data.mid(colon + 1), bytes))
            return QStringLiteral("bad hexadecimal byte list");
        if (type == RegSz || type == RegExpandSz) {
            if (bytes.size() % 2 != 0)
                return QStringLiteral("a text value has an odd number of bytes");
            QString text;
            for (qsizetype i = 0; i + 1 < bytes.size(); i += 2) {
                const char16_t u = static_cast<char16_t>(static_cast<uchar>(bytes[i]) |
                                                         (static_cast<uchar>(bytes[i + 1]) << 8));
                text.append(QChar(u));
            }
            if (text.endsWith(QChar(0)))
                text.chop(1);
            value.type = type;
            value.text = text;
        } else if (type == RegDword && bytes.size() == 4) {
            value.type = RegDword;
            value.number = static_cast<uchar>(bytes[0]) | (static_cast<uchar>(bytes[1]) << 8) |
                           (static_cast<uchar>(bytes[2]) << 16) |
                           (static_cast<quint32>(static_cast<uchar>(bytes[3])) << 24);
        } else {
            value.type = type;
            value.raw = bytes;
        }
        return {};
    }
    return QStringLiteral("unknown value data '%1'").arg(data.left(20));
}

} // namespace

RegistryValue* RegistryKey::find(const QString& name) {
    for (RegistryValue& v : values) {
        if (sameName(v.name, name))
            return &v;
    }
    return nullptr;
}

const RegistryValue* RegistryKey::find(const QString& name) const {
    return const_cast<RegistryKey*>(this)->find(name);
}

RegistryKey* RegistryDocument::findKey(const QString& path) {
    for (RegistryKey& k : m_keys) {
        if (sameName(k.path, path))
            return &k;
    }
    return nullptr;
}

const RegistryKey* RegistryDocument::findKey(const QString& path) const {
    return const_cast<RegistryDocument*>(this)->findKey(path);
}

RegistryKey& RegistryDocument::ensureKey(const QString& path) {
    if (RegistryKey* k = findKey(path))
        return *k;
    m_keys.append(RegistryKey{path, {}});
    return m_keys.last();
}

void RegistryDocument::removeKeyTree(const QString& path) {
    const QString prefix = path + u'\\';
    m_keys.removeIf([&](const RegistryKey& k) {
        return sameName(k.path, path) || k.path.startsWith(prefix, Qt::CaseInsensitive);
    });
}

RegistryDocument RegistryDocument::parse(const QByteArray& fileContent,
                                         std::optional<RegistryParseError>* error) {
    RegistryDocument doc;
    auto fail = [&](int line, const QString& reason) {
        if (error)
            *error = RegistryParseError{line, reason};
        return RegistryDocument();
    };

    // Our own files are UTF-8; the registry editor's exports are UTF-16 with a byte-order
    // mark. Both are read.
    QList<QString> lines;
    if (fileContent.startsWith("\xFF\xFE")) {
        const QString all =
            QString::fromUtf16(reinterpret_cast<const char16_t*>(fileContent.constData() + 2),
                               (fileContent.size() - 2) / 2);
        lines = all.split(u'\n');
    } else {
        QByteArray content = fileContent;
        if (content.startsWith("\xEF\xBB\xBF"))
            content.remove(0, 3);
        const QList<QByteArray> raw = content.split('\n');
        for (qsizetype i = 0; i < raw.size(); ++i) {
            QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            QString text = decoder.decode(raw[i]);
            if (decoder.hasError())
                return fail(static_cast<int>(i + 1), QStringLiteral("the line is not UTF-8 text"));
            lines.append(text);
        }
    }

    bool sawHeader = false;
    RegistryKey* current = nullptr;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const int lineNo = static_cast<int>(i + 1);
        QString line = lines[i];
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.trimmed().isEmpty() || line.trimmed().startsWith(u';'))
            continue;
        if (!sawHeader) {
            if (line.trimmed() != QLatin1String(header()))
                return fail(lineNo, QStringLiteral("the file does not begin with \"%1\"")
                                        .arg(QLatin1String(header())));
            sawHeader = true;
            continue;
        }
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(u'[')) {
            if (!trimmed.endsWith(u']') || trimmed.size() < 3)
                return fail(lineNo, QStringLiteral("a key line must be enclosed in [ ]"));
            QString path = trimmed.mid(1, trimmed.size() - 2);
            if (path.startsWith(u'-')) {
                doc.removeKeyTree(path.mid(1));
                current = nullptr;
            } else {
                current = &doc.ensureKey(path);
            }
            continue;
        }
        // A value line; hexadecimal data may continue on following lines after a '\'.
        while (line.trimmed().endsWith(u'\\') &&
               line.contains(QLatin1String("=hex"), Qt::CaseInsensitive)) {
            line = line.trimmed();
            line.chop(1);
            if (i + 1 >= lines.size())
                return fail(lineNo, QStringLiteral("a continued value has no next line"));
            QString next = lines[++i];
            if (next.endsWith(u'\r'))
                next.chop(1);
            line += next.trimmed();
        }
        if (!current)
            return fail(lineNo, QStringLiteral("a value appears outside of any key"));
        RegistryValue value;
        qsizetype pos = 0;
        const QString text = line.trimmed();
        if (text.startsWith(u'@')) {
            pos = 1;
        } else if (!readQuoted(text, pos, value.name)) {
            return fail(lineNo, QStringLiteral("a value line must begin with a quoted name or @"));
        }
        while (pos < text.size() && text[pos].isSpace())
            ++pos;
        if (pos >= text.size() || text[pos] != u'=')
            return fail(lineNo, QStringLiteral("'=' expected after the value name"));
        const QString data = text.mid(pos + 1).trimmed();
        if (data == QLatin1String("-")) {
            current->values.removeIf(
                [&](const RegistryValue& v) { return sameName(v.name, value.name); });
            continue;
        }
        const QString problem = parseData(data, value);
        if (!problem.isEmpty())
            return fail(lineNo, problem);
        if (RegistryValue* existing = current->find(value.name))
            *existing = value;
        else
            current->values.append(value);
    }
    if (error)
        error->reset();
    return doc;
}

QByteArray RegistryDocument::serialize() const {
    QString out = QLatin1String(header()) + u'\n';
    for (const RegistryKey& key : m_keys) {
        out += u'\n' + (u'[' + key.path + u']') + u'\n';
        for (const RegistryValue& v : key.values) {
            out += v.name.isEmpty() ? QStringLiteral("@") : quote(v.name);
            out += u'=';
            switch (v.type) {
            case RegSz:
                out += needsHexForm(v.text) ? QStringLiteral("hex(1):") + hexBytes(utf16le(v.text))
                                            : quote(v.text);
                break;
            case RegExpandSz:
                out += QStringLiteral("hex(2):") + hexBytes(utf16le(v.text));
                break;
            case RegDword:
                out += QStringLiteral("dword:%1").arg(v.number, 8, 16, QLatin1Char('0'));
                break;
            case RegBinary:
                out += QStringLiteral("hex:") + hexBytes(v.raw);
                break;
            default:
                out += QStringLiteral("hex(%1):").arg(v.type, 0, 16) + hexBytes(v.raw);
                break;
            }
            out += u'\n';
        }
    }
    return out.toUtf8();
}

} // namespace zarq
