#pragma once

#include <QDateTime>
#include <QString>
#include <functional>

namespace zarq {

// The updater's lines in the update log: local date and time, " : [000] ", the text, CR LF;
// appended, never truncated. Off (writes nothing) unless the updater was started with "L".
class UpdaterLog {
public:
    UpdaterLog(QString path, bool on);

    bool isOn() const { return m_on; }
    QString path() const { return m_path; }
    void line(const QString& text) const;

    static QString format(const QDateTime& when, const QString& text);

    // The log file for the name handed over in UPDATER.INI: a bare name lies in the documents
    // folder, a name with a folder part ("/", "\" or ":") is used as written.
    static QString pathFor(const QString& logName, const QString& documentsFolder);

private:
    QString m_path;
    bool m_on;
};

} // namespace zarq
