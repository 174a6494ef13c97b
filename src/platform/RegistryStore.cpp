#include "platform/RegistryStore.h"

#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zarq {

namespace {

// Serialises read-modify-write cycles of several copies of the program on one file.
class FileLock {
public:
    explicit FileLock(const QString& path) {
        const QString dir = QFileInfo(path).absolutePath();
        AtomicFile::makePrivateDirectory(dir);
        const QString lockPath =
            dir + QStringLiteral("/.") + QFileInfo(path).fileName() + QStringLiteral(".lock");
        m_fd = ::open(QFile::encodeName(lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        // Without a lock file (read-only directory) the write that follows fails anyway.
        if (m_fd >= 0) {
            while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~FileLock() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int m_fd = -1;
};

QString normaliseKey(QString key) {
    key.replace(u'/', u'\\');
    while (key.startsWith(u'\\'))
        key.remove(0, 1);
    while (key.endsWith(u'\\'))
        key.chop(1);
    return key;
}

} // namespace

RegistryStore::RegistryStore(QString filePath, QString root)
    : m_path(std::move(filePath)), m_root(std::move(root)) {}

QString RegistryStore::defaultFilePath() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/tervan/zarq.reg");
}

std::optional<RegistryValue> RegistryStore::PeekValue(const QString& key,
                                                      const QString& name) const {
    RegistryDocument doc;
    RegistryParseError parseError;
    QString reason;
    if (readFile(doc, parseError, reason) != FileState::Ok)
        return std::nullopt;
    const QString path = key.startsWith(u'\\') ? m_root + key : m_root + u'\\' + key;
    const RegistryKey* found = doc.findKey(path);
    const RegistryValue* value = found ? found->find(name) : nullptr;
    return value ? std::optional<RegistryValue>(*value) : std::nullopt;
}

QString RegistryStore::fullPath() const {
    return m_key.isEmpty() ? m_root : m_root + u'\\' + m_key;
}

const RegistryKey* RegistryStore::currentKey() const {
    return m_open ? m_doc.findKey(fullPath()) : nullptr;
}

RegistryStore::FileState RegistryStore::readFile(RegistryDocument& doc,
                                                 RegistryParseError& parseError,
                                                 QString& reason) const {
    QFile file(m_path);
    if (!file.exists()) {
        doc = RegistryDocument();
        return FileState::Missing;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        reason = file.errorString();
        return FileState::Unreadable;
    }
    // The settings hold the key that signs the user's name in. A file of another user (also
    // behind a symbolic link someone put in its place) is neither trusted nor written through;
    // a link to a file of the user's own, as dotfile managers make, is fine.
    struct stat st {};
    if (::fstat(file.handle(), &st) == 0 && st.st_uid != ::geteuid()) {
        const QFileInfo info(m_path);
        reason = info.isSymLink()
                     ? QStringLiteral("it is a symbolic link to \"%1\", a file of another user "
                                      "(uid %2), which is neither read nor written")
                           .arg(info.symLinkTarget())
                           .arg(st.st_uid)
                     : QStringLiteral("it belongs to another user (uid %1) and is neither read "
                                      "nor written")
                           .arg(st.st_uid);
        return FileState::Unreadable;
    }
    const QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        reason = file.errorString();
        return FileState::Unreadable;
    }
    std::optional<RegistryParseError> error;
    doc = RegistryDocument::parse(content, &error);
    if (error) {
        parseError = *error;
        return FileState::Corrupt;
    }
    return FileState::Ok;
}

void RegistryStore::quarantine(const RegistryParseError& parseError) {
    m_open = false;
    QString movedTo;
    const QString why = AtomicFile::moveAside(m_path, m_clock(), &movedTo);
    if (why.isEmpty()) {
        throw ERegistryException(
            QStringLiteral("The settings file \"%1\" cannot be read (line %2: %3). It was moved "
                           "aside to \"%4\"; the settings start empty.")
                .arg(m_path)
                .arg(parseError.line)
                .arg(parseError.reason, movedTo));
    }
    throw ERegistryException(
        QStringLiteral("The settings file \"%1\" cannot be read (line %2: %3) and could not be "
                       "moved aside (%4). It is left as it is and no setting is saved until it "
                       "is repaired or removed.")
            .arg(m_path)
            .arg(parseError.line)
            .arg(parseError.reason, why));
}

bool RegistryStore::OpenKey(const QString& key, bool canCreate) {
    return openKey(key, canCreate, true);
}

bool RegistryStore::OpenKeyForWrite(const QString& key) {
    return openKey(key, true, false);
}

bool RegistryStore::openKey(const QString& key, bool canCreate, bool createNow) {
    CloseKey();
    m_openFailure.clear();
    m_unreadable.clear();
    m_key = normaliseKey(key);
    RegistryParseError parseError;
    QString reason;
    FileState state = readFile(m_doc, parseError, reason);
    if (state == FileState::Corrupt) {
        FileLock lock(m_path);
        state = readFile(m_doc, parseError, reason); // another copy may have repaired it
        if (state == FileState::Corrupt)
            quarantine(parseError);
    }
    if (state == FileState::Unreadable) {
        // An unreadable file is left alone: reads find nothing and writes fail.
        m_doc = RegistryDocument();
        m_openFailure = reason;
        m_unreadable = reason;
        return false;
    }
    if (m_doc.findKey(fullPath())) {
        m_open = true;
        return true;
    }
    if (!canCreate) {
        m_openFailure = QStringLiteral("the key does not exist");
        return false;
    }
    m_open = true;
    if (!createNow)
        return true; // store() makes the key along with the first value
    try {
        store(QString(), [](RegistryKey&) {});
    } catch (const ERegistryException& e) {
        m_open = false;
        m_openFailure = e.detail().isEmpty() ? e.message() : e.detail();
        m_doc = RegistryDocument();
        return false;
    }
    return true;
}

void RegistryStore::CloseKey() {
    m_open = false;
}

bool RegistryStore::ValueExists(const QString& name) const {
    const RegistryKey* k = currentKey();
    return k && k->find(name);
}

quint32 RegistryStore::GetDataType(const QString& name) const {
    const RegistryKey* k = currentKey();
    const RegistryValue* v = k ? k->find(name) : nullptr;
    return v ? v->type : 0;
}

QString RegistryStore::ReadString(const QString& name) const {
    const RegistryKey* k = currentKey();
    const RegistryValue* v = k ? k->find(name) : nullptr;
    if (!v)
        throw ERegistryException::failedToGet(name);
    if (v->type != RegSz && v->type != RegExpandSz)
        throw ERegistryException::invalidDataType(name);
    return v->text;
}

qint32 RegistryStore::ReadInteger(const QString& name) const {
    const RegistryKey* k = currentKey();
    const RegistryValue* v = k ? k->find(name) : nullptr;
    if (!v)
        throw ERegistryException::failedToGet(name);
    if (v->type != RegDword)
        throw ERegistryException::invalidDataType(name);
    return static_cast<qint32>(v->number);
}

void RegistryStore::store(const QString& name, const std::function<void(RegistryKey&)>& change) {
    if (!m_open)
        throw ERegistryException::failedToSet(
            name, m_openFailure.isEmpty() ? QStringLiteral("the key is not open") : m_openFailure);
    FileLock lock(m_path);
    RegistryDocument latest;
    RegistryParseError parseError;
    QString reason;
    switch (readFile(latest, parseError, reason)) {
    case FileState::Corrupt:
        quarantine(parseError);
    case FileState::Unreadable:
        throw ERegistryException::failedToSet(name, reason);
    case FileState::Missing:
    case FileState::Ok:
        break;
    }
    change(latest.ensureKey(fullPath()));
    // Through a link to the user's own file (the read above refused any other) the file it
    // leads to is replaced, so the link stays; a dangling link is replaced itself, never
    // followed to create a file wherever it points.
    const QFileInfo info(m_path);
    const QString target = info.isSymLink() && info.exists() ? info.canonicalFilePath() : m_path;
    const QString why = AtomicFile::write(target, latest.serialize());
    if (!why.isEmpty())
        throw ERegistryException::failedToSet(name, why);
    m_doc = latest;
}

void RegistryStore::putInto(RegistryKey& key, RegistryValue value) {
    if (RegistryValue* existing = key.find(value.name)) {
        value.name = existing->name; // an existing value keeps its spelling
        *existing = value;
    } else {
        key.values.append(value);
    }
}

void RegistryStore::WriteString(const QString& name, const QString& value) {
    WriteValues({RegistryValue{name, RegSz, value, 0, {}}});
}

void RegistryStore::WriteInteger(const QString& name, qint32 value) {
    WriteValues({RegistryValue{name, RegDword, {}, static_cast<quint32>(value), {}}});
}

void RegistryStore::WriteValues(const QList<RegistryValue>& values) {
    if (values.isEmpty())
        return;
    store(values.first().name, [&](RegistryKey& key) {
        for (const RegistryValue& value : values)
            putInto(key, value);
    });
}

bool RegistryStore::DeleteValue(const QString& name) {
    if (!ValueExists(name))
        return false;
    store(name, [&](RegistryKey& key) {
        key.values.removeIf(
            [&](const RegistryValue& v) { return v.name.compare(name, Qt::CaseInsensitive) == 0; });
    });
    return true;
}

} // namespace zarq
