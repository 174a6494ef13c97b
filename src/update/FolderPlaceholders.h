#pragma once

#include <QString>

#include <functional>

namespace zarq {

// Replaces folder placeholders such as "{APP}" in one text. One opening brace is open at a
// time; at the next closing brace the name between them, upper-cased, goes to `lookup`. A
// folder that comes back is inserted (see insertable) and scanning continues at the first
// character of the inserted text; an unknown name or an empty folder stays as written.
class FolderPlaceholders {
public:
    static constexpr int kMaxInsertions = 64;
    using Lookup = std::function<QString(const QString& upperName)>;
    static QString expand(const QString& text, const Lookup& lookup);
    // The folder as it is inserted, so that values can be written "{APP}/name": with a "/"
    // appended and then "." appended, unless its second character is ":" and it is longer than
    // three characters, in which case it loses that separator again.
    static QString insertable(const QString& folder);
};

} // namespace zarq
