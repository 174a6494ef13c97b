#include "updater/ComponentPlacer.h"

#include "platform/CommandLine.h"
#include "platform/ProcessStart.h"
#include "platform/ReplacingFile.h"
#include "update/CabinetExtractor.h"
#include "update/LzExpander.h"
#include "update/PatchCommand.h"
#include "updater/IniText.h"
#include "updater/PathContainment.h"
#include "updater/UpdaterFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>
#include <thread>

namespace zarq {

namespace {

// List files may name list files; a list that names itself must not recurse without end.
constexpr int kMaxListDepth = 8;
// A count in the billions would keep the updater busy for hours with entries that do not exist
// (and the entry number would overflow at the end); no list holds more than this many.
constexpr int kMaxListEntries = 65535;

QString extension(const QString& name) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || dot < name.lastIndexOf(QLatin1Char('/')))
        return {};
    return name.mid(dot).toUpper();
}

QString withSlash(const QString& dir) {
    return dir.endsWith(QLatin1Char('/')) ? dir : dir + QLatin1Char('/');
}

bool isElf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(4) == QByteArray("\x7f"
                                                                        "ELF");
}

} // namespace

ComponentPlacer::ComponentPlacer(const UpdaterLog& log, QString applicationFolder,
                                 QString temporaryFolder, QString restartProgram)
    : sleep([](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }), m_log(log),
      m_applicationFolder(std::move(applicationFolder)),
      m_temporaryFolder(std::move(temporaryFolder)), m_restartProgram(std::move(restartProgram)) {}

void ComponentPlacer::place(const QString& name, const QString& staging,
                            const QString& destination) {
    place(name, staging, destination, 0);
}

void ComponentPlacer::place(const QString& name, const QString& staging, const QString& destination,
                            int depth) {
    if (PathContainment::relativeName(name).isEmpty() ||
        !PathContainment::folderInside(destination, {m_applicationFolder, m_temporaryFolder})) {
        refuse(name);
        return;
    }
    const QString upper = name.toUpper();
    const QString ext = extension(name);
    const qsizetype newAt = upper.indexOf(QLatin1String("_NEW"));
    if (newAt >= 0 && newAt == upper.size() - 4)
        copy(name, staging, destination);
    else if (ext == QLatin1String(".INF"))
        list(name, staging, depth);
    else if (ext == QLatin1String(".PAT"))
        patch(name, staging, destination);
    else if (ext == QLatin1String(".CAB"))
        cabinet(name, staging, destination);
    else if (ext == QLatin1String(".EXE"))
        program(name, staging, destination);
    else
        expand(name, staging, destination);
}

void ComponentPlacer::copy(const QString& name, const QString& staging,
                           const QString& destination) {
    const QString base = name.left(name.size() - 4);
    const QString source = staging + name;
    // The staged file itself, named as listed: on Linux names differ by case.
    if (!QFileInfo(source).isFile())
        return;
    const QString text = staging + base + QStringLiteral("_NEW to ") + destination + base;
    const QString target = destination + PathContainment::relativeName(base);
    if (PathContainment::relativeName(base).isEmpty() ||
        !PathContainment::folderInside(QFileInfo(target).path(), {destination})) {
        refuse(name);
        return;
    }
    m_log.line(QStringLiteral("Upd copying file : ") + text);
    QString error;
    if (!ReplacingFile::copy(source, target, modeFor(target, source), &error))
        m_log.line(QStringLiteral("Upd copy error ") + text);
    else
        m_placed.insert(source);
}

void ComponentPlacer::removePlaced() {
    // Only now: a list may name one staged file for several targets.
    for (const QString& source : std::as_const(m_placed))
        QFile::remove(source);
    m_placed.clear();
}

void ComponentPlacer::list(const QString& name, const QString& staging, int depth) {
    m_log.line(QStringLiteral("Upd inf file: ") + staging + name);
    // A list that names a list still being read (itself, or one that named it) would be read
    // inside itself again; with several such entries the work grows as their number to the power
    // of the depth.
    const QString path = QFileInfo(staging + name).canonicalFilePath();
    if (depth >= kMaxListDepth || (!path.isEmpty() && m_openLists.contains(path))) {
        m_log.line(QStringLiteral("Upd inf nested too deeply: ") + staging + name);
        return;
    }
    bool tooLarge = false;
    const IniText ini = IniText::load(staging + name, &tooLarge);
    if (tooLarge) {
        m_log.line(QStringLiteral("Upd inf file too large: ") + staging + name);
        return;
    }
    // The entries of all the lists of one restart together stay within the bound of one list,
    // so nested lists cannot multiply the work while the program is down.
    const int count = qMin(ini.integer(QStringLiteral("FILES"), QStringLiteral("COUNT"), 0),
                           kMaxListEntries - m_listEntries);
    const QString app = QFileInfo(m_applicationFolder).absoluteFilePath();
    m_openLists.append(path);
    if (count > 0)
        m_listEntries += count;
    else if (m_listEntries >= kMaxListEntries)
        m_log.line(QStringLiteral("Upd inf too many entries: ") + staging + name);
    for (int i = 1; i <= count; ++i) {
        QString file =
            ini.value(QStringLiteral("FILES"), QStringLiteral("FILE%1").arg(i)).left(128);
        file.replace(QLatin1Char('\\'), QLatin1Char('/'));
        const QString rawTarget =
            ini.value(QStringLiteral("FILES"), QStringLiteral("TARGET%1").arg(i));
        QString target = UpdaterFolders::expandTarget(rawTarget, app, m_temporaryFolder);
        m_log.line(QStringLiteral("upd inf %1 : ").arg(i) + file + QLatin1Char(' ') + target);
        // A relative folder lies in the application folder (the updater's current directory).
        if (!target.startsWith(QLatin1Char('/')))
            target = withSlash(m_applicationFolder) + target;
        place(file, staging, withSlash(target), depth + 1);
    }
    m_openLists.removeLast();
}

void ComponentPlacer::patch(const QString& name, const QString& staging,
                            const QString& destination) {
    // The patcher is not part of this system; it runs only where someone installed it beside
    // the program. Its output goes where it writes it.
    const QString patcher = destination + QStringLiteral("patcher.exe");
    if (!QFileInfo(patcher).isExecutable()) {
        m_log.line(QStringLiteral("Upd patch ") + name + QStringLiteral(" : no ") + patcher);
        return;
    }
    QStringList argv =
        CommandLine::split(PatchCommandLine(staging + name, QString(), m_log.isOn()));
    argv[0] = patcher;
    ProcessStart::runAndWait(argv, true);
}

void ComponentPlacer::cabinet(const QString& name, const QString& staging,
                              const QString& destination) {
    m_log.line(QStringLiteral("Upd cab extract ") + name + QLatin1Char(' ') + destination);
    QStringList refused;
    const int result = ExtractCabinet(staging + name, destination, &refused);
    for (const QString& entry : refused)
        refuse(entry);
    if (result != 0)
        m_log.line(QStringLiteral("Upd cabextract failed"));
    else
        m_placed.insert(staging + name);
}

void ComponentPlacer::program(const QString& name, const QString& staging,
                              const QString& destination) {
    m_log.line(QStringLiteral("Upd execute ") + name + QLatin1Char(' ') + destination);
    const QString path = staging + name;
    // Downloads are staged without execute permission; the staged file is ours to run.
    const int mode = ReplacingFile::modeOf(path);
    if (mode >= 0)
        ::chmod(QFile::encodeName(path).constData(), static_cast<mode_t>(mode) | S_IXUSR);
    QString error;
    if (ProcessStart::runAndWait({path}, true, &error) < 0)
        m_log.line(QStringLiteral("Upd execute failed : ") + error);
    sleep(500);
}

void ComponentPlacer::expand(const QString& name, const QString& staging,
                             const QString& destination) {
    m_log.line(QStringLiteral("Upd lzexpand ") + name + QLatin1Char(' ') + destination);
    const QString source = staging + name;
    const QString expanded = LzExpander::expandedName(source);
    m_log.line(QStringLiteral("Upd lzexpand dest. filename ") + expanded);
    const QString target = destination + expanded;
    QString error;
    if (!LzExpander::expandTo(source, target, modeFor(target, source), &error))
        m_log.line(QStringLiteral("Upd lzexpand failed : ") + error);
    else if (QFileInfo(source).absoluteFilePath() != QFileInfo(target).absoluteFilePath())
        m_placed.insert(source);
}

bool ComponentPlacer::isProgram(const QString& target, const QString& source) const {
    // A relative program name is taken in the application folder, the updater's current one.
    const auto absolute = [](const QString& p) {
        return QDir::cleanPath(QFileInfo(p).absoluteFilePath());
    };
    if (!m_restartProgram.isEmpty() && absolute(target) == absolute(m_restartProgram))
        return true;
    return isElf(source);
}

unsigned ComponentPlacer::modeFor(const QString& target, const QString& source) const {
    const int existing = ReplacingFile::modeOf(target);
    if (existing >= 0)
        return static_cast<unsigned>(existing);
    // A new file gets the user's usual mode, as one the program placed itself does; the staged
    // file's 0600 is the staging folder's privacy, not the file's.
    unsigned mode = ReplacingFile::newFileMode();
    if (isProgram(target, source))
        mode |= S_IXUSR;
    return mode;
}

void ComponentPlacer::refuse(const QString& name) {
    m_log.line(QStringLiteral("Upd refused name : ") + name);
}

} // namespace zarq
