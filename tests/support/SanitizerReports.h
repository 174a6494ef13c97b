#pragma once

#include <QSet>
#include <QString>

namespace zarq::test {

// The reports that sanitized programs write (the sanitizer build's report folder, or wherever
// ASAN_OPTIONS's log_path sends this program's own). A test program takes note of them at its start
// and, at its end, prints each report that appeared meanwhile: a child program it started (zarq,
// the updater, a probe) found a fault, even when the test only looked at that program's output.
// Outside the sanitizer build there are none.
class SanitizerReports {
public:
    SanitizerReports();

    // Prints every report written since construction to standard error; returns how many.
    int printNew() const;

private:
    QSet<QString> m_before;
};

} // namespace zarq::test
