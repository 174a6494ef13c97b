#include "update/ControlFile.h"

#include "platform/TextCodec.h"
#include "update/ValueKinds.h"

#include <QFile>
#include <QList>

namespace zarq {

namespace {

// A character must not be cut in half when a value is shortened: a double-byte character of
// code page 936, or a UTF-8 sequence.
QByteArray cutToLimit(const QByteArray& value, bool utf8) {
    if (value.size() <= ControlFile::kMaxValueBytes)
        return value;
    if (utf8) {
        qsizetype end = ControlFile::kMaxValueBytes;
        while (end > 0 && (static_cast<unsigned char>(value[end]) & 0xC0) == 0x80)
            --end;
        return value.left(end);
    }
    int end = 0;
    while (end < ControlFile::kMaxValueBytes) {
        const auto byte = static_cast<unsigned char>(value[end]);
        const int width = (byte >= 0x81 && byte <= 0xFE) ? 2 : 1;
        if (end + width > ControlFile::kMaxValueBytes)
            break;
        end += width;
    }
    return value.left(end);
}

QByteArray unquoted(const QByteArray& value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.mid(1, value.size() - 2);
    return value;
}

} // namespace

QString ControlFile::decode(const QByteArray& bytes) const {
    return FUtf8 ? QString::fromUtf8(bytes) : TextCodec::fromCp936(bytes);
}

ControlFile ControlFile::fromBytes(const QByteArray& bytes) {
    ControlFile file;
    file.FUtf8 = TextCodec::isUtf8(bytes);
    const bool bom = file.FUtf8 && bytes.startsWith("\xEF\xBB\xBF");
    const auto nameKey = [&file](const QByteArray& name) {
        return file.decode(TextCodec::trimmed(name)).toUpper();
    };
    QHash<QString, QByteArray>* section = nullptr;
    const QList<QByteArray> lines = (bom ? bytes.mid(3) : bytes).split('\n');
    for (const QByteArray& raw : lines) {
        const QByteArray line = TextCodec::trimmed(raw);
        if (line.startsWith('[')) {
            const int close = line.indexOf(']');
            const QString name = nameKey(line.mid(1, close < 0 ? -1 : close - 1));
            // A repeated section adds nothing: the reader always finds the first one.
            const bool known = file.FSections.contains(name);
            section = &file.FSections[name];
            if (known)
                section = nullptr;
            continue;
        }
        const int equals = line.indexOf('=');
        if (section == nullptr || equals <= 0)
            continue;
        const QString key = nameKey(line.left(equals));
        if (key.isEmpty() || section->contains(key))
            continue;
        section->insert(key,
                        cutToLimit(unquoted(TextCodec::trimmed(line.mid(equals + 1))), file.FUtf8));
    }
    return file;
}

ControlFile ControlFile::fromFile(const QString& path) {
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return ControlFile();
    return fromBytes(in.readAll());
}

bool ControlFile::hasValue(const QString& section, const QString& key) const {
    const auto found = FSections.constFind(section.toUpper());
    return found != FSections.constEnd() && found->contains(key.toUpper());
}

QString ControlFile::ReadString(const QString& section, const QString& key,
                                const QString& def) const {
    const auto found = FSections.constFind(section.toUpper());
    if (found == FSections.constEnd())
        return def;
    const auto value = found->constFind(key.toUpper());
    if (value == found->constEnd())
        return def;
    return decode(*value);
}

int ControlFile::ReadInteger(const QString& section, const QString& key, int def) const {
    return ValueKinds::ParseInteger(ReadString(section, key), def);
}

bool ControlFile::ReadFlag(const QString& section, const QString& key, int def) const {
    return ReadInteger(section, key, def) == 1;
}

} // namespace zarq
