#include "updater/UpdaterParameters.h"

#include <climits>

namespace zarq {

std::optional<UpdaterParameters> UpdaterParameters::parse(const QStringList& args) {
    const QString id = args.value(0);
    if (id.isEmpty() || id.size() > 10)
        return std::nullopt;
    for (const QChar c : id) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    }
    const qlonglong value = id.toLongLong();
    if (value > INT_MAX)
        return std::nullopt;
    UpdaterParameters p;
    p.processId = static_cast<pid_t>(value);
    p.logging = args.value(1) == QLatin1String("L");
    p.application = args.value(2);
    p.applicationParameter = args.value(3);
    p.stagingFolder = args.value(4);
    p.components = args.mid(5);
    return p;
}

bool UpdaterParameters::restarts() const {
    return !application.isEmpty() && application != QLatin1String("null");
}

QStringList UpdaterParameters::restartCommand() const {
    QStringList argv{application};
    if (!applicationParameter.isEmpty() && applicationParameter != QLatin1String(" "))
        argv << applicationParameter;
    return argv;
}

} // namespace zarq
