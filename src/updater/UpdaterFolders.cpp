#include "updater/UpdaterFolders.h"

#include "platform/PrivateFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace zarq {

QString UpdaterFolders::documents() {
    const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!docs.isEmpty() && QFileInfo(docs).isDir())
        return docs;
    return QDir::homePath();
}

QString UpdaterFolders::privateTemporary() {
    return QDir::cleanPath(PrivateFolder::underCache(QStringLiteral("tmp")));
}

QString UpdaterFolders::expandTarget(const QString& value, const QString& currentDir,
                                     const QString& temporaryDir) {
    QString text = value;
    text.replace(QLatin1Char('\\'), QLatin1Char('/'));
    qsizetype open = -1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('{') && open < 0) {
            open = i;
        } else if (text[i] == QLatin1Char('}') && open >= 0) {
            const QString name = text.mid(open + 1, i - open - 1).toUpper();
            QString folder;
            if (name == QLatin1String("APP"))
                folder = currentDir;
            else if (name == QLatin1String("TMP"))
                folder = temporaryDir;
            if (!folder.isEmpty()) {
                // A folder never has ":" as its second character here, so "." follows its
                // separator and "{APP}/x" stays a valid path.
                if (!folder.endsWith(QLatin1Char('/')))
                    folder += QLatin1Char('/');
                folder += QLatin1Char('.');
                text.replace(open, i - open + 1, folder);
                // Scanning goes on after the inserted folder: a folder whose own name holds
                // "{APP}" would otherwise be inserted again and again without end.
                i = open + folder.size() - 1;
            }
            open = -1;
        }
    }
    return text;
}

} // namespace zarq
