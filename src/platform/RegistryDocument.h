#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace zarq {

// Registry data types, with their Windows numbers (the export format names them by number).
enum RegistryType : quint32 {
    RegSz = 1,
    RegExpandSz = 2,
    RegBinary = 3,
    RegDword = 4,
};

struct RegistryValue {
    QString name; // empty for the key's default value ("@")
    quint32 type = RegSz;
    QString text;       // RegSz, RegExpandSz
    quint32 number = 0; // RegDword
    QByteArray raw;     // every other type, kept byte for byte
};

struct RegistryKey {
    QString path; // full path, e.g. "HKEY_CURRENT_USER\software\tervan\zarq"
    QList<RegistryValue> values;

    RegistryValue* find(const QString& name);
    const RegistryValue* find(const QString& name) const;
};

// Where and why a registry export text could not be read.
struct RegistryParseError {
    int line = 0;
    QString reason;
};

// The content of a registry export file ("Windows Registry Editor Version 5.00", UTF-8).
// Key and value names compare without regard to letter case, as in the registry; their
// spelling is kept. Values of types the program never uses are kept unchanged.
class RegistryDocument {
public:
    static RegistryDocument parse(const QByteArray& fileContent,
                                  std::optional<RegistryParseError>* error);
    QByteArray serialize() const;

    RegistryKey* findKey(const QString& path);
    const RegistryKey* findKey(const QString& path) const;
    RegistryKey& ensureKey(const QString& path);
    void removeKeyTree(const QString& path);

    const QList<RegistryKey>& keys() const { return m_keys; }

    static const char* header() { return "Windows Registry Editor Version 5.00"; }

private:
    QList<RegistryKey> m_keys;
};

} // namespace zarq
