#include "updater/PathContainment.h"

#include <QDir>
#include <QFileInfo>

namespace zarq {

namespace {

// The system ends a path at its first NUL: a name holding one would be checked here as one file
// and then read, written or run as another (a list "x.INF<NUL>.exe" would run the list itself,
// and "..<NUL>" is no ".." to the checks but the parent to the system). Such names are refused.

bool below(const QString& path, const QString& root) {
    if (root.isEmpty())
        return false;
    const QString base = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
    return path == root || path + QLatin1Char('/') == base || path.startsWith(base);
}

// The path with its longest existing beginning resolved through symbolic links.
QString resolved(const QString& clean) {
    QString head = clean;
    QString tail;
    while (!QFileInfo::exists(head) && head != QLatin1String("/")) {
        const QFileInfo info(head);
        tail = QLatin1Char('/') + info.fileName() + tail;
        head = info.path();
    }
    const QString canonical = QFileInfo(head).canonicalFilePath();
    return QDir::cleanPath((canonical.isEmpty() ? head : canonical) + tail);
}

} // namespace

QString PathContainment::relativeName(const QString& name) {
    if (name.isEmpty() || QDir::isAbsolutePath(name) || name.contains(QChar(0)))
        return {};
    const QString clean = QDir::cleanPath(name);
    if (clean == QLatin1String(".") || clean == QLatin1String("..") ||
        clean.startsWith(QLatin1String("../")))
        return {};
    return clean;
}

bool PathContainment::folderInside(const QString& dir, const QStringList& roots) {
    if (!QDir::isAbsolutePath(dir) || dir.contains(QChar(0)))
        return false;
    const QString clean = QDir::cleanPath(dir);
    const QString real = resolved(clean);
    for (const QString& root : roots) {
        const QString cleanRoot = QDir::cleanPath(root);
        if (below(clean, cleanRoot) && below(real, resolved(cleanRoot)))
            return true;
    }
    return false;
}

} // namespace zarq
