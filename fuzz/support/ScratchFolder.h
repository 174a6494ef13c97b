#pragma once

#include "FuzzTarget.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace zarq::fuzz {

// The one folder a target that writes files may use, made once per process under $TMPDIR (the
// replay tests run with the machine's own; scripts/fuzz points it at a throw-away folder):
//
//   <root>/home/      HOME and the XDG folders point here before the code under test runs, so
//                     nothing it derives from them reaches the user's own folders
//   <root>/sentinel   a file beside the scratch folder that no input may change
//   <root>/scratch/   emptied before every input; the target lays out its folders in it
//
// listing() describes a tree entry by entry (type, size, link target, a digest of the content)
// without following links, so a target can compare the tree before and after an input.
class ScratchFolder {
public:
    static ScratchFolder& instance() {
        static ScratchFolder folder; // removed with its content when the process ends normally
        return folder;
    }

    QString root() const { return m_root.path(); }
    QString scratch() const { return m_root.filePath(QStringLiteral("scratch")); }
    QString path(const QString& relative) const { return scratch() + QLatin1Char('/') + relative; }

    // An empty scratch folder for the next input.
    void reset() const {
        QDir(scratch()).removeRecursively();
        if (!QDir().mkpath(scratch()))
            fail("cannot make the scratch folder");
    }

    void write(const QString& relative, const QByteArray& bytes) const {
        const QString file = path(relative);
        QDir().mkpath(QFileInfo(file).path());
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            out.write(bytes) != bytes.size())
            fail("cannot write into the scratch folder");
    }

    void link(const QString& target, const QString& relative) const {
        if (!QFile::link(target, path(relative)))
            fail("cannot make a link in the scratch folder");
    }

    // Every entry below `dir` except those below one of `skipped` (paths relative to `dir`),
    // one line each, in name order.
    static QStringList listing(const QString& dir, const QStringList& skipped = {}) {
        QStringList lines;
        QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString entry = it.next();
            const QString relative = QDir(dir).relativeFilePath(entry);
            bool skip = false;
            for (const QString& s : skipped)
                skip = skip || relative == s || relative.startsWith(s + QLatin1Char('/'));
            if (skip)
                continue;
            const QFileInfo info(entry);
            QString line = relative + QLatin1Char(' ');
            if (info.isSymLink()) {
                line += QStringLiteral("link ") + info.symLinkTarget();
            } else if (info.isDir()) {
                line += QStringLiteral("dir");
            } else {
                QFile file(entry);
                QCryptographicHash digest(QCryptographicHash::Sha1);
                if (file.open(QIODevice::ReadOnly))
                    digest.addData(&file);
                line += QStringLiteral("file %1 %2 %3")
                            .arg(info.size())
                            .arg(QString::number(info.permissions(), 16),
                                 QString::fromLatin1(digest.result().toHex()));
            }
            lines << line;
        }
        lines.sort();
        return lines;
    }

    // The sentinel and the home folder's tree: whatever an input did must leave these as they
    // were (the home folder may gain the private folders the code makes on first use).
    QStringList outside() const {
        return listing(root(), {QStringLiteral("scratch"), QStringLiteral("home")});
    }

private:
    ScratchFolder() {
        if (!m_root.isValid())
            fail("cannot make a scratch folder under $TMPDIR");
        const QString home = m_root.filePath(QStringLiteral("home"));
        QDir().mkpath(home);
        qputenv("HOME", QFile::encodeName(home));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home + QStringLiteral("/.config")));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(home + QStringLiteral("/.cache")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(home + QStringLiteral("/.local/share")));
        QFile sentinel(m_root.filePath(QStringLiteral("sentinel")));
        if (!sentinel.open(QIODevice::WriteOnly) || sentinel.write("left alone\n") != 11)
            fail("cannot write the sentinel");
        reset();
    }

    QTemporaryDir m_root{QDir::tempPath() + QStringLiteral("/zarq-fuzz-XXXXXX")};
};

} // namespace zarq::fuzz
