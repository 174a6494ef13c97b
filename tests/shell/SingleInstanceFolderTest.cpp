// Where the single-instance guard keeps its lock and socket when there is no
// $XDG_RUNTIME_DIR: a private folder of the user's, never the shared temporary folder.
#include "shell/TSingleInstance.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using namespace zarq;

namespace {

// Sets an environment variable for one test and puts the old value back afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<QByteArray>& value)
        : m_name(name),
          m_old(qEnvironmentVariableIsSet(name) ? std::optional<QByteArray>(qgetenv(name))
                                                : std::nullopt) {
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }
    ~ScopedEnv() {
        if (m_old)
            qputenv(m_name, *m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<QByteArray> m_old;
};

QStringList g_warnings;
void recordWarning(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtWarningMsg)
        g_warnings << text;
}

class SingleInstanceFolder : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_tmp.isValid());
        g_warnings.clear();
        m_previousHandler = qInstallMessageHandler(recordWarning);
    }
    void TearDown() override { qInstallMessageHandler(m_previousHandler); }

    QString cache() const { return m_tmp.filePath(QStringLiteral("cache")); }
    QString runFolder() const { return cache() + QStringLiteral("/tervan/run"); }

    QTemporaryDir m_tmp;
    ScopedEnv m_runtime{"XDG_RUNTIME_DIR", std::nullopt};
    ScopedEnv m_cache{"XDG_CACHE_HOME", QFile::encodeName(cache())};
    ScopedEnv m_home{"HOME", QFile::encodeName(m_tmp.path())};
    QtMessageHandler m_previousHandler = nullptr;
};

TEST_F(SingleInstanceFolder, WithoutARuntimeFolderAPrivateOneIsMadeAndGuards) {
    QString why;
    EXPECT_EQ(TSingleInstance::defaultRuntimeDir(&why), runFolder());
    EXPECT_EQ(why, QString());
    struct stat st {};
    ASSERT_EQ(::lstat(QFile::encodeName(runFolder()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);

    TSingleInstance first(QStringLiteral("private folder"));
    ASSERT_TRUE(first.isFirst());
    EXPECT_TRUE(QFile::exists(first.lockFilePath()));
    EXPECT_TRUE(first.lockFilePath().startsWith(runFolder() + u'/'));
    TSingleInstance second(QStringLiteral("private folder"));
    second.setAckTimeout(200);
    EXPECT_FALSE(second.isFirst()); // the lock in the private folder is found
    EXPECT_TRUE(g_warnings.isEmpty()) << g_warnings.join(u'\n').toStdString();
}

TEST_F(SingleInstanceFolder, ARuntimeFolderIsStillPreferred) {
    const ScopedEnv runtime("XDG_RUNTIME_DIR", QFile::encodeName(m_tmp.path()));
    EXPECT_EQ(TSingleInstance::defaultRuntimeDir(), m_tmp.path());
    EXPECT_FALSE(QFileInfo::exists(runFolder()));
}

TEST_F(SingleInstanceFolder, AFolderOthersCouldUseIsRefusedAndTheStartRunsUnguarded) {
    struct Case {
        const char* what;
        std::function<void()> prepare;
        QString reason;
        bool needsRoot;
    };
    const QString elsewhere = m_tmp.filePath(QStringLiteral("elsewhere"));
    const Case cases[] = {
        {"a symbolic link",
         [&] {
             ASSERT_TRUE(QDir().mkpath(elsewhere));
             ASSERT_TRUE(QFile::link(elsewhere, runFolder()));
         },
         runFolder() + QStringLiteral(" is a symbolic link"), false},
        {"open to others",
         [&] {
             ASSERT_TRUE(QDir().mkpath(runFolder()));
             ASSERT_EQ(::chmod(QFile::encodeName(runFolder()).constData(), 0755), 0);
         },
         runFolder() + QStringLiteral(" is open to other users (mode 755, not 700)"), false},
        {"open to its group",
         [&] {
             ASSERT_TRUE(QDir().mkpath(runFolder()));
             ASSERT_EQ(::chmod(QFile::encodeName(runFolder()).constData(), 0750), 0);
         },
         runFolder() + QStringLiteral(" is open to other users (mode 750, not 700)"), false},
        {"another user's",
         [&] {
             ASSERT_TRUE(QDir().mkpath(runFolder()));
             ASSERT_EQ(::chmod(QFile::encodeName(runFolder()).constData(), 0700), 0);
             ASSERT_EQ(::chown(QFile::encodeName(runFolder()).constData(), 65534, 65534), 0);
         },
         runFolder() + QStringLiteral(" belongs to another user (uid 65534)"), true},
        {"not a folder",
         [&] {
             QFile file(runFolder());
             ASSERT_TRUE(file.open(QIODevice::WriteOnly));
         },
         runFolder() + QStringLiteral(" is not a folder"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.needsRoot && ::geteuid() != 0)
            continue; // only root can give a folder away
        QDir(cache()).removeRecursively();
        QDir(elsewhere).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(cache() + QStringLiteral("/tervan")));
        c.prepare();
        g_warnings.clear();

        QString why;
        EXPECT_EQ(TSingleInstance::defaultRuntimeDir(&why), QString());
        EXPECT_EQ(why.toStdString(), c.reason.toStdString());
        TSingleInstance guard(QStringLiteral("refused folder"));
        guard.setAckTimeout(200);
        EXPECT_TRUE(guard.isFirst()); // unguarded, but started
        EXPECT_EQ(g_warnings.join(u'\n').toStdString(),
                  QStringLiteral("no private folder for the single-instance lock (%1); running "
                                 "unguarded")
                      .arg(c.reason)
                      .toStdString());
        // Nothing was created through the link or in the refused folder.
        EXPECT_TRUE(
            QDir(elsewhere).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
        if (QFileInfo(runFolder()).isDir()) {
            EXPECT_TRUE(
                QDir(runFolder()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
        }
    }
}

} // namespace
