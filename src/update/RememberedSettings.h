#pragma once

#include "update/UpdateTypes.h"

#include <QDateTime>
#include <QString>

#include <optional>

namespace zarq {

// What an update run remembers between runs under `LastURLEntry` in the settings store: the
// control-file URL the host moved its clients to (LastURL) and the release date of the last
// date-based update (LastDate, LastTime), all text values in the key's subkey `Section`.
//
// The current user's values live under HKEY_CURRENT_USER of the settings file; `lurLOCALMACHINE`
// keeps them under HKEY_LOCAL_MACHINE of the same file (a user program cannot write a
// machine-wide store). Dates are written as "dd/mm/yyyy" and times as "hh:mm:ss" whatever the
// machine's locale, so a value written once reads back as the same moment, also after a
// change of locale and in every century.
class RememberedSettings {
public:
    explicit RememberedSettings(const TLastURLEntry& entry, QString storeFile = QString());

    // A key and a section are set (where the date is read from).
    bool configured() const;
    // A key, a section and Save are set (needed to read the URL and to write anything).
    bool saving() const;

    // LastURL; empty when none is stored or it cannot be read.
    QString lastURL() const;
    // The remembered release date; none when LastDate is missing or unreadable.
    std::optional<QDateTime> lastDate() const;

    // Each returns an empty text, or why the value could not be stored.
    QString setLastURL(const QString& url);
    // LastDate, and LastTime when the time of day is not midnight.
    QString setLastDate(const QDateTime& when);

private:
    QString read(const QString& name) const;

    TLastURLEntry m_entry;
    QString m_file;
};

} // namespace zarq
