#pragma once

#include <QString>

#include <optional>

namespace zarq {

// The newest signature timestamp accepted for each control-file URL, kept in the settings store
// (key "software\tervan\zarq\UpdateTimestamps", one text value per URL), so that an older signed
// control file (a replayed one, which may still list a release with a known hole) is refused.
class AcceptedTimestamps {
public:
    explicit AcceptedTimestamps(QString settingsFile = QString());

    // None when nothing was accepted for `url` yet (or the store cannot be read).
    std::optional<qint64> last(const QString& url) const;
    // Empty, or why the timestamp could not be stored.
    QString remember(const QString& url, qint64 timestamp);

private:
    QString m_file;
};

} // namespace zarq
