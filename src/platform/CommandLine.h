#pragma once

#include <QString>
#include <QStringList>

namespace zarq {

// Command lines written as one text (the updater's parameters, programs named in an update
// control file) are taken apart the way Windows programs have always done it, so a text keeps
// its meaning on both systems: blanks (every character with a code from 1 to 32) separate
// arguments; double quotes group and are removed. A backslash is an ordinary character, so a
// quoted folder that ends in one stays intact; `""` gives an empty argument.
class CommandLine {
public:
    static QStringList split(const QString& text);
};

} // namespace zarq
