#include "update/CabinetExtractor.h"

#include "update/LzExpander.h"

#include "platform/ReplacingFile.h"
#include "platform/TextCodec.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <fcntl.h>
#include <mspack.h>
#include <sys/stat.h>

namespace zarq {

namespace {

// One libmspack cabinet decompressor and its open cabinet for the length of a call.
class Cabinet {
public:
    Cabinet() : m_d(mspack_create_cab_decompressor(nullptr)) {}
    ~Cabinet() {
        if (m_cab)
            m_d->close(m_d, m_cab);
        if (m_d)
            mspack_destroy_cab_decompressor(m_d);
    }
    Cabinet(const Cabinet&) = delete;
    Cabinet& operator=(const Cabinet&) = delete;

    bool open(const QString& path) {
        if (!m_d)
            return false;
        // libmspack keeps the name and reopens the file by it while extracting.
        m_path = QFile::encodeName(path);
        m_cab = m_d->open(m_d, m_path.constData());
        return m_cab != nullptr;
    }
    mscabd_file* files() const { return m_cab->files; }
    bool extract(mscabd_file* file, const QString& target) {
        return m_d->extract(m_d, file, QFile::encodeName(target).constData()) == MSPACK_ERR_OK;
    }

private:
    mscab_decompressor* m_d;
    QByteArray m_path;
    mscabd_cabinet* m_cab = nullptr;
};

QString storedName(const mscabd_file* file) {
    const QByteArray raw(file->filename);
    // Names without the UTF-8 mark are in the system's code page, which is 936 for this program.
    QString name = (file->attribs & MSCAB_ATTRIB_UTF_NAME) ? QString::fromUtf8(raw)
                                                           : TextCodec::fromCp936(raw);
    return name.replace(QLatin1Char('\\'), QLatin1Char('/'));
}

// The name relative to the destination, or empty when it would leave it.
QString containedName(const QString& name) {
    if (name.isEmpty() || name.startsWith(QLatin1Char('/')))
        return {};
    const QString clean = QDir::cleanPath(name);
    if (clean == QLatin1String(".") || clean == QLatin1String("..") ||
        clean.startsWith(QLatin1String("../")) || clean.startsWith(QLatin1Char('/')))
        return {};
    return clean;
}

bool inside(const QString& canonical, const QString& root) {
    return canonical == root ||
           canonical.startsWith(root == QLatin1String("/") ? root : root + QLatin1Char('/'));
}

enum class Folder { Made, Outside, Failed };

// Creates the folders of `relative` below the canonical `root` one at a time, so that a
// symbolic link already inside the destination can never lead a folder outside it.
Folder makeFolders(const QString& root, const QString& relative) {
    QString current = root;
    const QStringList parts = relative.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        const QString next = current + QLatin1Char('/') + part;
        QFileInfo info(next);
        if (!info.exists() && !info.isSymLink()) {
            if (!QDir().mkdir(next))
                return Folder::Failed;
            info = QFileInfo(next);
        }
        const QString canonical = info.canonicalFilePath();
        if (canonical.isEmpty() || !inside(canonical, root))
            return Folder::Outside;
        if (!QFileInfo(canonical).isDir())
            return Folder::Failed;
        current = canonical;
    }
    return Folder::Made;
}

void setStamp(const QString& path, const mscabd_file* file) {
    const QDateTime when(QDate(file->date_y, file->date_m, file->date_d),
                         QTime(file->time_h, file->time_m, file->time_s), Qt::LocalTime);
    if (!when.isValid())
        return; // a cabinet without a valid date keeps the extraction time
    timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_NOW;
    times[1].tv_sec = static_cast<time_t>(when.toSecsSinceEpoch());
    times[1].tv_nsec = 0;
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
}

} // namespace

int ExtractCabinet(const QString& cabinetPath, const QString& destination, QStringList* refused,
                   qint64 budget) {
    QFile probe(cabinetPath);
    if (!probe.open(QIODevice::ReadOnly))
        return -1;
    probe.close();
    Cabinet cabinet;
    if (!cabinet.open(cabinetPath))
        return -1;

    // libmspack writes exactly the length each file declares: their sum bounds the output.
    qint64 total = 0;
    for (mscabd_file* file = cabinet.files(); file; file = file->next)
        total += qint64(file->length);
    if (total > LzExpander::expansionLimit(QFileInfo(cabinetPath).size(), budget))
        return -1;

    const QString dest = destination.isEmpty() ? QStringLiteral(".") : destination;
    if (!QDir().mkpath(dest))
        return -1;
    const QString root = QFileInfo(dest).canonicalFilePath();

    for (mscabd_file* file = cabinet.files(); file; file = file->next) {
        const QString name = storedName(file);
        const QString relative = containedName(name);
        const Folder made =
            relative.isEmpty() ? Folder::Outside : makeFolders(root, QFileInfo(relative).path());
        if (made == Folder::Outside) {
            if (refused)
                *refused << name;
            continue;
        }
        const QString target = root + QLatin1Char('/') + relative;
        if (made == Folder::Failed || QFileInfo(target).isDir())
            return -1;
        const int existing = ReplacingFile::modeOf(target);
        const mode_t mode = existing >= 0                         ? static_cast<mode_t>(existing)
                            : (file->attribs & MSCAB_ATTRIB_EXEC) ? 0755
                                                                  : 0644;
        ReplacingFile out(target);
        if (!out.open(nullptr) || !cabinet.extract(file, out.temporaryPath()))
            return -1;
        setStamp(out.temporaryPath(), file);
        if (!out.commit(mode, nullptr))
            return -1;
    }
    return 0;
}

} // namespace zarq
