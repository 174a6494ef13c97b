#pragma once

#include "platform/RegistryDocument.h"
#include "platform/RegistryError.h"

#include <QDateTime>
#include <QString>
#include <functional>
#include <optional>

namespace zarq {

// The per-user registry of the Windows client, kept in one file in the registry export text
// format ($XDG_CONFIG_HOME/tervan/zarq.reg, UTF-8, mode 0600). Works like a registry key
// handle: open a key (optionally creating it), read and write typed values, close it.
//
// Every write re-reads the file under a lock, changes the values it carries and replaces the
// file atomically, so values written meanwhile by another copy of the program (or by hand) are
// kept. A file that cannot be parsed is never overwritten: it is moved aside to a dated ".bad" copy
// and reported (file and line) with an ERegistryException before anything new is written.
class RegistryStore {
public:
    explicit RegistryStore(QString filePath = defaultFilePath(),
                           QString root = QStringLiteral("HKEY_CURRENT_USER"));

    // $XDG_CONFIG_HOME/tervan/zarq.reg, with ~/.config when the variable is unset.
    static QString defaultFilePath();

    QString filePath() const { return m_path; }
    // Why the file could not be read when the last OpenKey found it there but unreadable (no
    // permission, another user's file); empty otherwise.
    QString unreadableReason() const { return m_unreadable; }

    // Opens `key` (relative to the root; a leading '\' is allowed). Returns false when the key
    // does not exist and `canCreate` is off, or when it cannot be read or created. Throws
    // ERegistryException when the file cannot be parsed (after moving it aside).
    bool OpenKey(const QString& key, bool canCreate);
    // Opens `key` for the writes that follow; a missing key is created by the first write
    // instead of by a write of its own, so opening and one WriteValues() cost one file write.
    // Returns false when the file cannot be read. Throws as OpenKey does.
    bool OpenKeyForWrite(const QString& key);
    void CloseKey();
    bool isOpen() const { return m_open; }

    // The value `name` of `key` as the file holds it now, read without opening the key and
    // without the repair of a damaged file (which stays for the code that owns the settings
    // to report); none when the file, the key or the value is missing or cannot be read.
    std::optional<RegistryValue> PeekValue(const QString& key, const QString& name) const;

    bool ValueExists(const QString& name) const;
    // The value's type, or 0 when the value does not exist.
    quint32 GetDataType(const QString& name) const;

    // "Invalid data type for '%s'" when the value holds another type; "Failed to get data for
    // '%s'" when it does not exist.
    QString ReadString(const QString& name) const;
    qint32 ReadInteger(const QString& name) const;

    // "Failed to set data for '%s'" when the value cannot be stored; the reason is in detail().
    void WriteString(const QString& name, const QString& value);
    void WriteInteger(const QString& name, qint32 value);
    // Stores every value of `values` with one replacement of the file (one temporary file, one
    // flush, one rename): all of them or, on failure, none. The failure is reported as for
    // the first value: "Failed to set data for '<first name>'".
    void WriteValues(const QList<RegistryValue>& values);
    bool DeleteValue(const QString& name);

    // The clock that dates a ".bad" copy; tests replace it.
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

private:
    enum class FileState { Ok, Missing, Unreadable, Corrupt };
    FileState readFile(RegistryDocument& doc, RegistryParseError& parseError,
                       QString& reason) const;
    [[noreturn]] void quarantine(const RegistryParseError& parseError);
    void store(const QString& name, const std::function<void(RegistryKey&)>& change);
    static void putInto(RegistryKey& key, RegistryValue value);
    bool openKey(const QString& key, bool canCreate, bool createNow);
    QString fullPath() const;
    const RegistryKey* currentKey() const;

    QString m_path;
    QString m_root;
    QString m_key;
    bool m_open = false;
    QString m_openFailure; // why the last OpenKey failed, for the write error's detail
    QString m_unreadable;  // why the file could not be read at the last OpenKey
    RegistryDocument m_doc;
    std::function<QDateTime()> m_clock = [] { return QDateTime::currentDateTime(); };
};

} // namespace zarq
