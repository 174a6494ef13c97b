#include "app/HeadlessFront.h"

#include <QFile>
#include <QMap>
#include <QSet>
#include <gtest/gtest.h>

using zarq::HeadlessFront;

namespace {

// The [Service] settings of the systemd user unit as the build configures it.
QMap<QString, QString> serviceSettings() {
    QFile unit(QStringLiteral(ZARQ_BINARY_DIR "/packaging/zarq.service"));
    EXPECT_TRUE(unit.open(QIODevice::ReadOnly));
    QMap<QString, QString> settings;
    bool inService = false;
    for (const QString& raw : QString::fromUtf8(unit.readAll()).split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1Char('[')))
            inService = line == QLatin1String("[Service]");
        else if (inService && !line.startsWith(QLatin1Char('#')) && line.contains(QLatin1Char('=')))
            settings.insert(line.section(QLatin1Char('='), 0, 0),
                            line.section(QLatin1Char('='), 1));
    }
    return settings;
}

// The unit restarts a failed program, but not one whose exit status says a new start would
// fail the same way until the user acts; a stop ends it with SIGTERM, on which it signs out.
TEST(UserUnit, RestartsOnFailureExceptAfterTheStatusesThatNeedTheUser) {
    const QMap<QString, QString> s = serviceSettings();
    EXPECT_TRUE(s.value(QStringLiteral("ExecStart")).endsWith(QLatin1String("/zarq --headless")))
        << s.value(QStringLiteral("ExecStart")).toStdString();
    EXPECT_EQ(s.value(QStringLiteral("Restart")), QStringLiteral("on-failure"));
    EXPECT_EQ(s.value(QStringLiteral("KillSignal"), QStringLiteral("SIGTERM")),
              QStringLiteral("SIGTERM"));
    QSet<int> prevented;
    for (const QString& v : s.value(QStringLiteral("RestartPreventExitStatus"))
                                .split(QLatin1Char(' '), Qt::SkipEmptyParts))
        prevented.insert(v.toInt());
    const QSet<int> expected{HeadlessFront::ExitUsage, HeadlessFront::ExitRefused,
                             HeadlessFront::ExitElsewhere, HeadlessFront::ExitNotConfigured};
    EXPECT_EQ(prevented, expected);
    // A settings write that failed may succeed on a new start.
    EXPECT_FALSE(prevented.contains(HeadlessFront::ExitError));
}

} // namespace
