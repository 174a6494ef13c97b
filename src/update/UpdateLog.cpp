#include "update/UpdateLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QStandardPaths>
#include <QTextStream>

#include <cstdio>

namespace zarq {

namespace {

QMutex& nameLock() {
    static QMutex lock;
    return lock;
}

QString& processLogName() {
    static QString name = QStringLiteral("UPDATER.LOG");
    return name;
}

} // namespace

void UpdateLog::SetFileName(const QString& name) {
    QMutexLocker locker(&nameLock());
    processLogName() = name;
}

QString UpdateLog::DocumentsFolder() {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QFileInfo(documents).isDir())
        return documents;
    return QDir::homePath();
}

QString UpdateLog::FilePath() {
    QString name;
    {
        QMutexLocker locker(&nameLock());
        name = processLogName();
    }
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) ||
        name.contains(QLatin1Char(':')))
        return name;
    const QString documents = DocumentsFolder();
    if (documents.isEmpty())
        return name;
    return documents + QLatin1Char('/') + name;
}

QString UpdateLog::MessageLine(const QDateTime& when, int number, const QString& text,
                               int statusCode, int errCode) {
    return when.toString(QStringLiteral("dd/MM/yyyy hh:mm:ss")) + QStringLiteral(" : [") +
           QString::number(number) + QStringLiteral("] ") + text + QStringLiteral(" (Status:") +
           QString::number(statusCode) + QStringLiteral(") (Error:") + QString::number(errCode) +
           QLatin1Char(')');
}

bool AppendLogLine(const QString& line) {
    const QString path = UpdateLog::FilePath();
    QFile file(path);
    const bool created = !file.exists();
    bool written = file.open(QIODevice::WriteOnly | QIODevice::Append);
    if (written) {
        // The log names the user's files and hosts: readable by the user only.
        if (created)
            file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        const QByteArray bytes = line.toUtf8() + "\r\n";
        written = file.write(bytes) == bytes.size() && file.flush();
    }
    if (!written) {
        std::fprintf(stderr, "zarq: update log %s not written: %s\n", qPrintable(path),
                     qPrintable(file.errorString()));
    }
    return written;
}

} // namespace zarq
