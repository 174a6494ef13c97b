#pragma once

#include <QChar>
#include <QString>

namespace zarq {

// The name goes into the sign-in request as it is ("/auth/?domain=<name>.<zone>&key=..."),
// unescaped, as the service expects. A character that ends or re-reads that request line
// would change what is sent: a control character (a line break injects header lines), a
// blank (ends the request target), "&" (starts a parameter of its own), "?" and "#" (a query
// or fragment of their own), "/" (a path of its own). Such a name is refused wherever it
// enters: the command line, the login dialog's name box and the saved settings.
class LoginName {
public:
    // Whether the name box, the command line and the saved settings refuse `c`.
    static bool isRefused(QChar c);

    // Empty text when `name` can be sent; else what is wrong, such as
    // "it holds a blank" or "it holds a control character (U+000D)".
    static QString problem(const QString& name);

    // `name` without the refused characters (what the name box keeps of a typed text).
    static QString withoutRefused(const QString& name);

    // `name` fit for a message: control characters written as \r, \n, \t or \xNN.
    static QString shown(const QString& name);
};

} // namespace zarq
