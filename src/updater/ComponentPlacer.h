#pragma once

#include "updater/UpdaterLog.h"

#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>

namespace zarq {

// Puts one staged component in place by the first rule that fits its name N:
//   N ends in "_NEW"  copy the staged file N to the name without "_NEW"
//   ".INF"            a list file: place each FILEi into its folder TARGETi
//   ".PAT"            run the external patcher on it, when one is installed
//   ".CAB"            extract the cabinet
//   ".EXE"            run the staged program and wait for it
//   anything else     LZ-expand it under the name it records (a plain file is copied)
// Names compare without regard to case. Nothing is written outside the application folder
// (and, for list files, the private temporary folder); a name that would leave it is skipped
// with a log line. A file replaced keeps its permission bits; a new one gets those of the staged
// file, plus the owner's execute bit when it is a program: the program the updater restarts, or
// an ELF executable.
class ComponentPlacer {
public:
    ComponentPlacer(const UpdaterLog& log, QString applicationFolder, QString temporaryFolder,
                    QString restartProgram);

    // Folders end with "/".
    void place(const QString& name, const QString& staging, const QString& destination);

    // The pause after a program rule (500 ms); tests may shorten it.
    std::function<void(int ms)> sleep;

    // Removes the staged files that were put in place (copied, expanded or extracted), so that
    // updates do not pile up in the staging folder.
    void removePlaced();

private:
    void place(const QString& name, const QString& staging, const QString& destination, int depth);
    void copy(const QString& name, const QString& staging, const QString& destination);
    void list(const QString& name, const QString& staging, int depth);
    void patch(const QString& name, const QString& staging, const QString& destination);
    void cabinet(const QString& name, const QString& staging, const QString& destination);
    void program(const QString& name, const QString& staging, const QString& destination);
    void expand(const QString& name, const QString& staging, const QString& destination);
    bool isProgram(const QString& target, const QString& source) const;
    unsigned modeFor(const QString& target, const QString& source) const;
    void refuse(const QString& name);

    const UpdaterLog& m_log;
    QString m_applicationFolder;
    QString m_temporaryFolder;
    QString m_restartProgram;
    // The list files being read, outermost first (canonical paths).
    QStringList m_openLists;
    // The entries taken from list files so far in this restart.
    int m_listEntries = 0;
    QSet<QString> m_placed;
};

} // namespace zarq
