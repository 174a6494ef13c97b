#include "update/LzExpander.h"

#include "platform/ReplacingFile.h"

#include <QFile>
#include <QFileInfo>
#include <mspack.h>

namespace zarq {

namespace {

// One libmspack SZDD decompressor for the length of a call.
class Szdd {
public:
    Szdd() : m_d(mspack_create_szdd_decompressor(nullptr)) {}
    ~Szdd() {
        if (m_header)
            m_d->close(m_d, m_header);
        if (m_d)
            mspack_destroy_szdd_decompressor(m_d);
    }
    Szdd(const Szdd&) = delete;
    Szdd& operator=(const Szdd&) = delete;

    bool open(const QString& path) {
        if (!m_d)
            return false;
        m_path = QFile::encodeName(path); // held for libmspack while the file is open
        m_header = m_d->open(m_d, m_path.constData());
        return m_header != nullptr;
    }
    msszddd_header* header() const { return m_header; }
    int extract(const QString& target) {
        return m_d->extract(m_d, m_header, QFile::encodeName(target).constData());
    }

private:
    msszdd_decompressor* m_d;
    QByteArray m_path;
    msszddd_header* m_header = nullptr;
};

bool usableNameChar(char c) {
    // The character becomes part of a file name: never a separator or a control character.
    return static_cast<unsigned char>(c) > 32 && c != '/' && c != '\\' && c != 0x7f;
}

bool fail(QString* error, const QString& text) {
    if (error)
        *error = text;
    return false;
}

} // namespace

bool LzExpander::isCompressed(const QString& path) {
    Szdd szdd;
    return szdd.open(path);
}

QString LzExpander::expandedName(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    Szdd szdd;
    if (!szdd.open(path) || szdd.header()->format != MSSZDD_FMT_NORMAL)
        return name;
    const char c = szdd.header()->missing_char;
    if (!name.endsWith(QLatin1Char('_')) || !usableNameChar(c))
        return name;
    const QString expanded = name.left(name.size() - 1) + QLatin1Char(c);
    // "_" or "._" with a recorded "." would name the folder itself or its parent.
    if (expanded == QLatin1String(".") || expanded == QLatin1String(".."))
        return name;
    return expanded;
}

qint64 LzExpander::expansionLimit(qint64 packedSize, qint64 budget) {
    const qint64 byRatio = qMax<qint64>(qint64(1024) * 1024, 100 * qMax<qint64>(0, packedSize));
    return qMin(qMin(byRatio, kMaxExpanded), qMax<qint64>(0, budget));
}

bool LzExpander::expandTo(const QString& source, const QString& target, mode_t mode, QString* error,
                          qint64 budget) {
    if (!QFileInfo(source).isFile())
        return fail(error, QStringLiteral("no such file: %1").arg(source));
    Szdd szdd;
    if (!szdd.open(source)) {
        if (QFileInfo(source).absoluteFilePath() == QFileInfo(target).absoluteFilePath())
            return true;
        return ReplacingFile::copy(source, target, mode, error);
    }
    const qint64 limit = expansionLimit(QFileInfo(source).size(), budget);
    if (qint64(szdd.header()->length) > limit)
        return fail(error, QStringLiteral("%1 would expand to %2 bytes, more than the %3 allowed")
                               .arg(source)
                               .arg(qint64(szdd.header()->length))
                               .arg(limit));
    ReplacingFile out(target);
    if (!out.open(error))
        return false;
    if (szdd.extract(out.temporaryPath()) != MSPACK_ERR_OK)
        return fail(error, QStringLiteral("cannot expand %1").arg(source));
    // A truncated input ends the expansion early without an error; the header knows the size.
    if (QFileInfo(out.temporaryPath()).size() != szdd.header()->length)
        return fail(error, QStringLiteral("%1 is truncated").arg(source));
    return out.commit(mode, error);
}

QString ExpandLZFile(const QString& path, mode_t mode, qint64 budget) {
    const QFileInfo info(path);
    if (!LzExpander::isCompressed(path))
        return info.isFile() ? path : QString();
    const QString target = info.absolutePath() + QLatin1Char('/') + LzExpander::expandedName(path);
    if (!LzExpander::expandTo(path, target, mode, nullptr, budget))
        return {};
    if (QFileInfo(target).absoluteFilePath() != info.absoluteFilePath())
        QFile::remove(path);
    return target;
}

} // namespace zarq
