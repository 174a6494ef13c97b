#pragma once

#include <QDateTime>
#include <QString>

namespace zarq {

// The update log: a text file appended to line by line (CR LF), never truncated. Its name is one
// value per process, set whenever a component's log file name is assigned.
class UpdateLog {
public:
    // A name without "/", "\" or ":" lives in the documents folder; any other is used as written.
    static void SetFileName(const QString& name);
    static QString FilePath();
    // The line of a numbered message: "dd/mm/yyyy hh:nn:ss : [NNN] text (Status:S) (Error:E)".
    static QString MessageLine(const QDateTime& when, int number, const QString& text,
                               int statusCode, int errCode);
    // The documents folder: XDG's, or the home folder when that does not exist.
    static QString DocumentsFolder();
};

// Appends one line to the log file. A failure is reported on the diagnostic output and does not
// end the run: the log only informs, and a full disk must not stop an update that would succeed.
// Returns false when the line was not written.
bool AppendLogLine(const QString& line);

} // namespace zarq
