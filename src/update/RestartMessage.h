#pragma once

#include <QString>

namespace zarq {

// The program's notice before it ends for the updater: the new version (empty in this
// program's forced configuration, which never compares versions) between the two halves.
class RestartMessage {
public:
    static QString text(const QString& newVersion) {
        return QStringLiteral("温馨提示：本软件已升级至最新") + newVersion +
               QStringLiteral("版本，需要重新运行后才能继续使用!");
    }
};

} // namespace zarq
