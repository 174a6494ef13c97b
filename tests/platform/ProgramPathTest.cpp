#include "platform/ProgramPath.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using zarq::ProgramPath;

namespace {

void makeExecutable(const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("#!/bin/sh\n");
    f.close();
    f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

class LauncherVariable {
public:
    explicit LauncherVariable(const QByteArray& value) {
        if (value.isNull())
            qunsetenv(ProgramPath::kLauncherVariable);
        else
            qputenv(ProgramPath::kLauncherVariable, value);
    }
    ~LauncherVariable() { qunsetenv(ProgramPath::kLauncherVariable); }
};

} // namespace

TEST(ProgramPath, LauncherIsTakenFromTheEnvironmentOnlyWhenItNamesAnExecutable) {
    QTemporaryDir dir;
    const QString launcher = dir.filePath(QStringLiteral("bin/zarq"));
    makeExecutable(launcher);
    const QString plainFile = dir.filePath(QStringLiteral("notes.txt"));
    QFile(plainFile).open(QIODevice::WriteOnly);
    const QString self = QCoreApplication::applicationFilePath();

    const struct {
        QByteArray variable;
        QString expected;
    } cases[] = {
        {QByteArray(), self},                                  // not started through the launcher
        {QByteArray(""), self},                                // empty
        {QByteArray("bin/zarq"), self},                        // relative
        {dir.filePath(QStringLiteral("gone")).toUtf8(), self}, // missing
        {plainFile.toUtf8(), self},                            // not executable
        {launcher.toUtf8(), launcher},
    };
    for (const auto& c : cases) {
        LauncherVariable v(c.variable);
        EXPECT_EQ(ProgramPath::launcher(), c.expected) << c.variable.constData();
    }
}

TEST(ProgramPath, DesktopCompanionIsBesideTheLauncherOrInLibexec) {
    QTemporaryDir buildTree, prefix, bare;
    makeExecutable(buildTree.filePath(QStringLiteral("zarq")));
    makeExecutable(buildTree.filePath(QStringLiteral("zarq-desktop")));
    makeExecutable(prefix.filePath(QStringLiteral("bin/zarq")));
    makeExecutable(prefix.filePath(QStringLiteral("libexec/zarq/zarq-desktop")));
    makeExecutable(bare.filePath(QStringLiteral("zarq")));

    EXPECT_EQ(ProgramPath::desktopCompanion(buildTree.filePath(QStringLiteral("zarq"))),
              QFileInfo(buildTree.filePath(QStringLiteral("zarq-desktop"))).canonicalFilePath());
    EXPECT_EQ(ProgramPath::desktopCompanion(prefix.filePath(QStringLiteral("bin/zarq"))),
              QFileInfo(prefix.filePath(QStringLiteral("libexec/zarq/zarq-desktop")))
                  .canonicalFilePath());
    EXPECT_EQ(ProgramPath::desktopCompanion(bare.filePath(QStringLiteral("zarq"))), QString());
}
