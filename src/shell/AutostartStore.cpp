#include "shell/AutostartStore.h"

#include "shell/ApplicationTitle.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>

namespace zarq {

namespace {

bool isPlainName(const QString& name) {
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

// A desktop-entry string value with its escapes (\s \n \t \r \\) resolved.
QString unescapeValue(const QString& raw) {
    QString out;
    out.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw.at(i);
        if (c != QLatin1Char('\\') || i + 1 == raw.size()) {
            out += c;
            continue;
        }
        const QChar n = raw.at(++i);
        switch (n.unicode()) {
        case 's':
            out += QLatin1Char(' ');
            break;
        case 'n':
            out += QLatin1Char('\n');
            break;
        case 't':
            out += QLatin1Char('\t');
            break;
        case 'r':
            out += QLatin1Char('\r');
            break;
        case '\\':
            out += QLatin1Char('\\');
            break;
        default:
            out += c;
            out += n;
            break;
        }
    }
    return out;
}

QString escapeValue(const QString& value) {
    QString out;
    for (QChar c : value) {
        switch (c.unicode()) {
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        default:
            out += c;
            break;
        }
    }
    return out;
}

QString readFileText(const QString& path, bool* exists) {
    QFile file(path);
    *exists = file.exists();
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

// The fields of an entry's main group that decide what it starts and whether it is on.
struct EntryFields {
    QString exec;
    bool disabled = false;
};

EntryFields readEntry(const QByteArray& entryText) {
    bool inMainGroup = false;
    QString exec;
    bool disabled = false;
    const QStringList lines = QString::fromUtf8(entryText).split(QLatin1Char('\n'));
    for (QString line : lines) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            inMainGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (!inMainGroup || eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed();
        const QString value = unescapeValue(line.mid(eq + 1).trimmed());
        if (key == QLatin1String("Exec"))
            exec = value;
        else if (key == QLatin1String("Hidden"))
            disabled |= value.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
        else if (key == QLatin1String("X-GNOME-Autostart-enabled"))
            disabled |= value.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0;
    }
    return {exec, disabled};
}

} // namespace

AutostartDirs AutostartDirs::standard() {
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return {config + QStringLiteral("/autostart"), QStringLiteral("/etc/xdg/autostart")};
}

AutostartStore::AutostartStore(AutostartDirs dirs) : m_dirs(std::move(dirs)) {}

QString AutostartStore::runKeyPath() {
    return QStringLiteral("\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
}

QString AutostartStore::entryPath(TRegLocation root, const QString& keyPath,
                                  const QString& name) const {
    if (keyPath.compare(runKeyPath(), Qt::CaseInsensitive) != 0 || !isPlainName(name))
        return {};
    const QString& dir =
        root == TRegLocation::CurrentUser ? m_dirs.currentUser : m_dirs.localMachine;
    if (dir.isEmpty())
        return {};
    return dir + QLatin1Char('/') + name + QStringLiteral(".desktop");
}

QString AutostartStore::readValue(TRegLocation root, const QString& keyPath,
                                  const QString& name) const {
    const QString path = entryPath(root, keyPath, name);
    if (path.isEmpty())
        return {};
    if (root == TRegLocation::LocalMachine) {
        // A user entry of the same name takes the machine entry's place for this user.
        bool userExists = false;
        const QString userText =
            readFileText(entryPath(TRegLocation::CurrentUser, keyPath, name), &userExists);
        if (userExists && programOf(userText.toUtf8()).isEmpty())
            return {};
    }
    bool exists = false;
    return programOf(readFileText(path, &exists).toUtf8());
}

bool AutostartStore::deleteValue(TRegLocation root, const QString& keyPath,
                                 const QString& name) const {
    const QString path = entryPath(root, keyPath, name);
    if (path.isEmpty())
        return false;
    return !QFile::exists(path) || QFile::remove(path);
}

bool AutostartStore::writeValue(TRegLocation root, const QString& keyPath, const QString& name,
                                const QString& programPath) const {
    return writeEntry(root, keyPath, name, entryText(programPath));
}

bool AutostartStore::writeMask(const QString& keyPath, const QString& name) const {
    return writeEntry(TRegLocation::CurrentUser, keyPath, name, entryText(QString(), true));
}

bool AutostartStore::writeEntry(TRegLocation root, const QString& keyPath, const QString& name,
                                const QByteArray& text) const {
    const QString path = entryPath(root, keyPath, name);
    if (path.isEmpty())
        return false;
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const auto mode = root == TRegLocation::CurrentUser ? QFile::ReadOwner | QFile::WriteOwner
                                                        : QFile::ReadOwner | QFile::WriteOwner |
                                                              QFile::ReadGroup | QFile::ReadOther;
    if (!file.setPermissions(mode))
        return false;
    if (file.write(text) != text.size())
        return false;
    return file.commit();
}

QByteArray AutostartStore::entryText(const QString& programPath, bool hidden) {
    QString text;
    text += QStringLiteral("[Desktop Entry]\n");
    text += QStringLiteral("Type=Application\n");
    text += QStringLiteral("Version=1.0\n");
    text += QStringLiteral("Name=") + escapeValue(applicationTitle()) + QLatin1Char('\n');
    text += QStringLiteral("Comment=Dynamic DNS client: signs this computer's name in at log-in\n");
    if (!programPath.isEmpty())
        text += QStringLiteral("Exec=") + escapeValue(quoteExec(programPath)) + QLatin1Char('\n');
    if (hidden)
        text += QStringLiteral("Hidden=true\n");
    text += QStringLiteral("Icon=zarq\n");
    text += QStringLiteral("Terminal=false\n");
    text += QStringLiteral("X-GNOME-Autostart-enabled=true\n");
    text += QStringLiteral("X-GNOME-Autostart-Delay=%1\n").arg(kStartDelaySeconds);
    return text.toUtf8();
}

QString AutostartStore::programOf(const QByteArray& entryText) {
    const EntryFields fields = readEntry(entryText);
    return fields.disabled ? QString() : unquoteExec(fields.exec);
}

bool AutostartStore::isDisabled(const QByteArray& entryText) {
    return readEntry(entryText).disabled;
}

bool AutostartStore::isSwitchedOff(const QString& keyPath, const QString& name) const {
    for (const TRegLocation root : {TRegLocation::CurrentUser, TRegLocation::LocalMachine}) {
        const QString path = entryPath(root, keyPath, name);
        bool exists = false;
        const QString text = path.isEmpty() ? QString() : readFileText(path, &exists);
        if (exists)
            return isDisabled(text.toUtf8());
    }
    return false;
}

QString AutostartStore::quoteExec(const QString& programPath) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`=");
    bool needsQuotes = programPath.isEmpty();
    for (QChar c : programPath)
        needsQuotes |= reserved.contains(c);
    QString arg;
    if (needsQuotes) {
        arg += QLatin1Char('"');
        for (QChar c : programPath) {
            if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
                c == QLatin1Char('\\'))
                arg += QLatin1Char('\\');
            arg += c;
        }
        arg += QLatin1Char('"');
    } else {
        arg = programPath;
    }
    return arg.replace(QLatin1Char('%'), QLatin1String("%%"));
}

QString AutostartStore::unquoteExec(const QString& execValue) {
    const QString value = execValue.trimmed();
    QString arg;
    if (value.startsWith(QLatin1Char('"'))) {
        for (qsizetype i = 1; i < value.size(); ++i) {
            const QChar c = value.at(i);
            if (c == QLatin1Char('"'))
                break;
            if (c == QLatin1Char('\\') && i + 1 < value.size())
                arg += value.at(++i);
            else
                arg += c;
        }
    } else {
        const qsizetype end = value.indexOf(QRegularExpression(QStringLiteral("[ \t]")));
        arg = end < 0 ? value : value.left(end);
    }
    return arg.replace(QLatin1String("%%"), QLatin1String("%"));
}

} // namespace zarq
