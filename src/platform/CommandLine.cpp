#include "platform/CommandLine.h"

namespace zarq {

namespace {

bool isBlank(QChar c) {
    return c.unicode() >= 1 && c.unicode() <= 32;
}

} // namespace

QStringList CommandLine::split(const QString& text) {
    QStringList args;
    QString current;
    bool inArgument = false;
    bool quoted = false;
    for (const QChar c : text) {
        if (c == QLatin1Char('"')) {
            quoted = !quoted;
            inArgument = true;
        } else if (isBlank(c) && !quoted) {
            if (inArgument)
                args << current;
            current.clear();
            inArgument = false;
        } else if (c.unicode() != 0) {
            current += c;
            inArgument = true;
        }
    }
    if (inArgument)
        args << current;
    return args;
}

} // namespace zarq
