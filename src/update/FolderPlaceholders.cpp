#include "update/FolderPlaceholders.h"

namespace zarq {

QString FolderPlaceholders::insertable(const QString& folder) {
    QString text = folder;
    if (!text.endsWith(QLatin1Char('/')) && !text.endsWith(QLatin1Char('\\')))
        text += QLatin1Char('/');
    if (text.size() > 3 && text[1] == QLatin1Char(':'))
        text.chop(1);
    else
        text += QLatin1Char('.');
    return text;
}

QString FolderPlaceholders::expand(const QString& input, const Lookup& lookup) {
    QString text = input;
    // Scanning goes on inside inserted text, so a folder whose own name holds a placeholder
    // (a directory called "{APP}") would be expanded forever; past this many insertions the
    // remaining names stay as written.
    int insertionsLeft = kMaxInsertions;
    int open = -1;
    int i = 0;
    while (i < text.size()) {
        const QChar c = text[i];
        if (c == QLatin1Char('{') && open < 0) {
            open = i;
        } else if (c == QLatin1Char('}') && open >= 0) {
            const QString name = text.mid(open + 1, i - open - 1).toUpper();
            const QString folder = lookup ? lookup(name) : QString();
            const int start = open;
            open = -1;
            if (!folder.isEmpty() && insertionsLeft-- > 0) {
                text.replace(start, i - start + 1, insertable(folder));
                i = start; // continue inside the inserted text
                continue;
            }
        }
        ++i;
    }
    return text;
}

} // namespace zarq
