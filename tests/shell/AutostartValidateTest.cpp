#include "AutostartFixture.h"

#include <QProcess>
#include <QStandardPaths>

using namespace zarq;

namespace {

// Runs desktop-file-validate (desktop-file-utils) on a file; its complaints, or empty text.
QString validate(const QString& file) {
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (tool.isEmpty())
        return QStringLiteral("desktop-file-validate is not installed (desktop-file-utils)");
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(tool, {file});
    if (!p.waitForFinished(30000))
        return QStringLiteral("desktop-file-validate did not finish");
    const QString out = QString::fromUtf8(p.readAll()).trimmed();
    if (p.exitCode() != 0 || !out.isEmpty())
        return out.isEmpty() ? QStringLiteral("exit status %1").arg(p.exitCode()) : out;
    return {};
}

using AutostartEntryFile = AutostartFixture;

// Every autostart entry the program writes is one the desktop accepts: for either folder, for
// program paths that need quoting or escaping, and the disabled entry that masks the
// machine-wide one.
TEST_F(AutostartEntryFile, PassesDesktopFileValidate) {
    const char* const programs[] = {"/usr/bin/zarq", "/opt/My Apps/zarq", "/opt/100%/zarq",
                                    "/opt/a$b`c\"d/zarq", "/home/用户/程序/zarq"};
    for (const char* program : programs) {
        SCOPED_TRACE(program);
        for (const TRegLocation root : {TRegLocation::CurrentUser, TRegLocation::LocalMachine}) {
            plant(root, QString::fromUtf8(program));
            const QString file = root == TRegLocation::CurrentUser ? userFile() : machineFile();
            EXPECT_EQ(validate(file), QString()) << file.toStdString();
        }
    }
    ASSERT_TRUE(store().writeMask(AutostartStore::runKeyPath(), QStringLiteral("TervanZarq")));
    EXPECT_EQ(validate(userFile()), QString());
}

} // namespace
