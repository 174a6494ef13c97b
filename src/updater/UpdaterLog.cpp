#include "updater/UpdaterLog.h"

#include <QFile>

namespace zarq {

UpdaterLog::UpdaterLog(QString path, bool on) : m_path(std::move(path)), m_on(on) {}

QString UpdaterLog::format(const QDateTime& when, const QString& text) {
    return when.toString(QStringLiteral("dd/MM/yyyy hh:mm:ss")) + QStringLiteral(" : [000] ") +
           text;
}

void UpdaterLog::line(const QString& text) const {
    if (!m_on)
        return;
    // A line that cannot be written is dropped: the updater has no window and nobody reads its
    // exit status, and placing the files and restarting the program matter more than the log.
    QFile file(m_path);
    // Names from a list file may hold a NUL; written as is, it would make the log a binary file
    // to the tools that read it.
    QString shown = text;
    shown.replace(QChar(0), QStringLiteral("\\0"));
    if (file.open(QIODevice::Append))
        file.write((format(QDateTime::currentDateTime(), shown) + QStringLiteral("\r\n")).toUtf8());
}

QString UpdaterLog::pathFor(const QString& logName, const QString& documentsFolder) {
    if (logName.contains(QLatin1Char('\\')) || logName.contains(QLatin1Char('/')) ||
        logName.contains(QLatin1Char(':'))) {
        QString path = logName;
        return path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    }
    return documentsFolder + QLatin1Char('/') + logName;
}

} // namespace zarq
