#include "update/RestartDestination.h"

#include "platform/CommandLine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace zarq {

namespace {

// The reason a folder cannot take new files (a file is replaced by writing a new one beside it
// and renaming it over the old), or empty.
QString folderProblem(const QString& folder) {
    const QByteArray path = QFile::encodeName(folder);
    if (!QFileInfo(folder).isDir())
        return QStringLiteral("the folder %1 does not exist").arg(folder);
    if (::faccessat(AT_FDCWD, path.constData(), W_OK | X_OK, AT_EACCESS) != 0)
        return QStringLiteral("the folder %1 cannot be written (%2)")
            .arg(folder, QString::fromLocal8Bit(std::strerror(errno)));
    return {};
}

// The copy rule's target of a component name, relative to the application folder, or empty
// when the name is no copy (the first "_NEW", in any case, ends it).
QString copyTarget(const QString& name) {
    const QString upper = name.toUpper();
    const qsizetype at = upper.indexOf(QLatin1String("_NEW"));
    if (at < 0 || at != upper.size() - 4)
        return {};
    return name.left(at);
}

} // namespace

bool RestartDestination::needsQuotes(const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() <= ' ')
            return true;
    }
    return false;
}

QString RestartDestination::problem(const QString& applicationFolder, const QString& application,
                                    const QString& staging, const QString& components,
                                    const QString& parameter) {
    // The updater's parameters are one text split at blanks and grouped by double quotes; a
    // double quote inside a path or the parameter would regroup them, so that the updater took
    // another folder for its staging folder or restarted something else. A NUL or a line break
    // would cut or split the text on its way.
    const auto unsafe = [](const QString& text) {
        return text.contains(QLatin1Char('"')) || text.contains(QChar(0)) ||
               text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n'));
    };
    for (const QString& path : {application, staging}) {
        if (unsafe(path))
            return QStringLiteral("the path %1 holds a double quote, a NUL or a line break, which "
                                  "the updater's command line cannot carry")
                .arg(path);
    }
    if (unsafe(parameter))
        return QStringLiteral("the program's parameter %1 holds a double quote, a NUL or a line "
                              "break, which the updater's command line cannot carry")
            .arg(parameter);
    if (const QString why = folderProblem(applicationFolder); !why.isEmpty())
        return why;
    const auto withSlash = [](const QString& dir) {
        return dir.isEmpty() || dir.endsWith(QLatin1Char('/')) ? dir : dir + QLatin1Char('/');
    };
    const QString app = withSlash(applicationFolder);
    // TempDirectory may be given without its trailing "/" (".").
    const QString stagingFolder = withSlash(staging);
    for (const QString& name : CommandLine::split(components)) {
        const QString base = copyTarget(name);
        // The updater copies only what was staged; a name that leaves the folder is skipped.
        if (base.isEmpty() || !QFileInfo(stagingFolder + name).isFile())
            continue;
        const QString target = QDir::cleanPath(app + base);
        if (!target.startsWith(app))
            continue;
        if (QFileInfo(target).isDir())
            return QStringLiteral("%1 is a folder, not a file").arg(target);
        if (const QString why = folderProblem(QFileInfo(target).path()); !why.isEmpty())
            return why;
    }
    return {};
}

} // namespace zarq
