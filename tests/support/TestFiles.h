#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <gtest/gtest.h>

// Small file helpers for tests that build and inspect folders.
namespace testfiles {

inline void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    f.write(bytes);
}

inline QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Every entry below `dir` (folders entered, links not), relative to it, sorted, joined by
// blanks: easy to compare and to read in a failure.
inline QString filesBelow(const QString& dir) {
    QStringList found;
    const QFileInfoList all = QDir(dir).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot |
                                                      QDir::Hidden | QDir::System);
    for (const QFileInfo& info : all) {
        if (info.isDir() && !info.isSymLink()) {
            const QString sub = filesBelow(info.filePath());
            for (const QString& s : sub.split(QLatin1Char(' '), Qt::SkipEmptyParts))
                found << info.fileName() + QLatin1Char('/') + s;
        } else {
            found << info.fileName();
        }
    }
    found.sort();
    return found.join(QLatin1Char(' '));
}

} // namespace testfiles
