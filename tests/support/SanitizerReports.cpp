#include "support/SanitizerReports.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

#ifdef ZARQ_SANITIZE
extern "C" const char* __sanitizer_get_report_path();
#endif

namespace zarq::test {

namespace {

// The reports' path prefix: a sanitizer writes <prefix>.<pid>, and tells its own path.
QString logPrefix() {
#ifdef ZARQ_SANITIZE
    const char* path = __sanitizer_get_report_path();
    const QString own = path ? QString::fromLocal8Bit(path) : QString();
    const QString pidSuffix =
        QLatin1Char('.') + QString::number(QCoreApplication::applicationPid());
    if (own.endsWith(pidSuffix))
        return own.chopped(pidSuffix.size());
#endif
    return {}; // no sanitizer, or its reports go to standard error
}

// Full paths of the reports present now. Asking a sanitizer for its path (as every program of
// the sanitizer build does at its start) creates its file, so an empty one is no report.
QSet<QString> reports() {
    const QString prefix = logPrefix();
    if (prefix.isEmpty())
        return {};
    const QFileInfo info(prefix);
    const QDir dir = info.absoluteDir();
    QSet<QString> found;
    const QFileInfoList files =
        dir.entryInfoList({info.fileName() + QStringLiteral(".*")}, QDir::Files);
    for (const QFileInfo& file : files) {
        if (file.size() > 0)
            found.insert(file.filePath());
    }
    return found;
}

} // namespace

SanitizerReports::SanitizerReports() : m_before(reports()) {}

int SanitizerReports::printNew() const {
    int count = 0;
    for (const QString& path : reports()) {
        if (m_before.contains(path))
            continue;
        ++count;
        // Tests running at the same time share the folder, so the report may also come from
        // a neighbour's program; either way it is a fault, and the run's final check lists
        // every report again.
        std::fprintf(stderr, "==== sanitizer report %s (from a program this test started?)\n",
                     qPrintable(path));
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            const QByteArray text = file.readAll();
            std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stderr);
        } else {
            std::fprintf(stderr, "(cannot read it: %s)\n", qPrintable(file.errorString()));
        }
    }
    return count;
}

} // namespace zarq::test
