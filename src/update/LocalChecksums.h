#pragma once

#include <QHash>
#include <QString>

#include <functional>
#include <optional>

namespace zarq {

// The checksums of local files that one update run computes. A control file may name the same
// large file in thousands of entries: each file is read at most once per run (remembered by
// path, size and modification time), and the bytes read in one run are bounded, so that a
// control file cannot keep the program busy for minutes.
class LocalChecksums {
public:
    static constexpr qint64 kBudget = qint64(1024) * 1024 * 1024;

    explicit LocalChecksums(qint64 budget = kBudget) : m_budget(budget) {}

    // Forgets everything: a new run begins.
    void clear();
    // The byte sum (or with `crc` the CRC variant) of the file; `between` runs between blocks
    // (the caller lets its events run there). None when reading the file would pass the run's
    // budget.
    std::optional<qint32> checksum(const QString& path, bool crc,
                                   const std::function<void()>& between);
    qint64 bytesRead() const { return m_read; }
    qint64 budget() const { return m_budget; }

private:
    qint64 m_budget;
    qint64 m_read = 0;
    QHash<QString, qint32> m_known; // key: crc flag, size, time, path
};

} // namespace zarq
