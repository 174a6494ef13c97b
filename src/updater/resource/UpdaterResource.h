#pragma once

#include <QByteArray>
#include <QString>

namespace zarq {

// The updater program as zarq carries it: packed in LZ form ("SZDD"), expanding to
// "updater.exe". The restart writes it as "updater.ex_" and expands it with ExpandLZFile.
class UpdaterResource {
public:
    static constexpr const char* kPath = ":/updater/updater.ex_";

    // The packed bytes (empty when the resource is missing).
    static QByteArray packed();

    // Writes the packed bytes unchanged to `path` (mode 0600, replacing a file there once
    // complete). Returns false with the reason in `*error`.
    static bool write(const QString& path, QString* error = nullptr);
};

} // namespace zarq
