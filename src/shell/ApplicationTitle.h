#pragma once

#include <QString>

namespace zarq {

// The application's title. The program entry sets it as the application display name; the
// application's error box uses it as its caption and the single-instance guard derives the
// name of its lock and local server from it, so every copy of the program must agree on it.
inline QString applicationTitle() {
    return QStringLiteral("TERVAN 蓝杉果动态域名客户端");
}

} // namespace zarq
