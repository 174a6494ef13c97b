#include "updater/UpdaterRun.h"

#include "platform/FolderChain.h"
#include "platform/ProcessStart.h"
#include "platform/ProcessWait.h"
#include "updater/ComponentPlacer.h"
#include "updater/IniText.h"
#include "updater/UpdaterFolders.h"
#include "updater/UpdaterLog.h"
#include "updater/UpdaterParameters.h"

#include <QDir>
#include <QFile>
#include <chrono>
#include <thread>

namespace zarq {

namespace {

QString withSlash(const QString& dir) {
    return dir.endsWith(QLatin1Char('/')) ? dir : dir + QLatin1Char('/');
}

} // namespace

int UpdaterRun::run(const QStringList& args) {
    if (!sleep)
        sleep = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
    const std::optional<UpdaterParameters> p = UpdaterParameters::parse(args);
    if (!p)
        return 0;
    ProcessWait::untilEnded(p->processId);

    const QString documents = UpdaterFolders::documents();
    const QString handOver = documents + QStringLiteral("/UPDATER.INI");
    const QString logName = IniText::load(handOver).value(
        QStringLiteral("CONFIG"), QStringLiteral("LOGFILENAME"), QStringLiteral("UPDATER.LOG"));
    QFile::remove(handOver);
    sleep(500);

    const UpdaterLog log(UpdaterLog::pathFor(logName, documents), p->logging);
    const QString current = QDir::currentPath();
    log.line(QStringLiteral("upd v2.0.3.4"));
    log.line(QStringLiteral("Upd cur dir : ") + current);

    ComponentPlacer placer(log, current, UpdaterFolders::privateTemporary(), p->application);
    placer.sleep = sleep;
    // No staging folder, no components: an empty one would mean the file system's root. The
    // folder came as a parameter, checked by the program well before this moment; whoever
    // could have swapped it since must find it refused now, before anything is copied. The
    // old program then simply comes back.
    if (!p->stagingFolder.isEmpty()) {
        const QString why = FolderChain::check(p->stagingFolder, FolderChain::Mode::Existing);
        if (!why.isEmpty()) {
            log.line(QStringLiteral("Upd refused folder : ") + p->stagingFolder +
                     QStringLiteral(" (") + why + QLatin1Char(')'));
        } else {
            for (const QString& name : p->components)
                placer.place(name, withSlash(p->stagingFolder), withSlash(current));
            placer.removePlaced();
        }
    }

    if (!p->restarts())
        return 0;
    log.line(QStringLiteral("Upd restart ") + p->application + QLatin1Char(' ') +
             p->applicationParameter);
    QString error;
    if (ProcessStart::detached(p->restartCommand(), &error) < 0)
        log.line(QStringLiteral("Upd restart failed : ") + error);
    return 0;
}

} // namespace zarq
