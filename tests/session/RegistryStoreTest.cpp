#include "platform/RegistryStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace zarq;

namespace {

const QString kKey = QStringLiteral("software\\tervan\\zarq");

class RegistryStoreTest : public ::testing::Test {
protected:
    QString path() const { return m_dir.path() + QStringLiteral("/tervan/zarq.reg"); }
    QByteArray fileContent() const {
        QFile f(path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void putFile(const QByteArray& content) {
        QDir().mkpath(m_dir.path() + QStringLiteral("/tervan"));
        QFile f(path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    QStringList badCopies() const {
        return QDir(m_dir.path() + QStringLiteral("/tervan"))
            .entryList({QStringLiteral("*.bad")}, QDir::Files, QDir::Name);
    }

    QTemporaryDir m_dir;
};

} // namespace

TEST_F(RegistryStoreTest, ValuesPersistPrivatelyAcrossStores) {
    {
        RegistryStore store(path());
        ASSERT_FALSE(store.OpenKey(kKey, false)); // nothing there yet
        ASSERT_TRUE(store.OpenKey(kKey, true));
        store.WriteString(QStringLiteral("loginname"), QStringLiteral("张三"));
        store.WriteInteger(QStringLiteral("autologin"), 1);
        store.WriteInteger(QStringLiteral("neg"), -2);
    }
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(QFile::encodeName(m_dir.path() + "/tervan").constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    RegistryStore again(path());
    ASSERT_TRUE(again.OpenKey(QStringLiteral("\\SOFTWARE\\Tervan\\ZARQ"), false));
    EXPECT_EQ(again.ReadString(QStringLiteral("LoginName")), QStringLiteral("张三"));
    EXPECT_EQ(again.ReadInteger(QStringLiteral("autologin")), 1);
    EXPECT_EQ(again.ReadInteger(QStringLiteral("neg")), -2);
    EXPECT_TRUE(fileContent().contains("[HKEY_CURRENT_USER\\software\\tervan\\zarq]"));
}

TEST_F(RegistryStoreTest, ARewriteReplacesTheValueOfAnySpellingInPlace) {
    RegistryStore store(path());
    ASSERT_TRUE(store.OpenKey(kKey, true));
    store.WriteString(QStringLiteral("password"), QStringLiteral("old"));
    store.WriteInteger(QStringLiteral("autologin"), 1);
    // Another spelling and another type: still the one value, where it was, as first spelt.
    store.WriteInteger(QStringLiteral("PASSWORD"), 7);
    store.WriteString(QStringLiteral("AutoLogin"), QStringLiteral("on"));
    EXPECT_EQ(fileContent(), QByteArray("Windows Registry Editor Version 5.00\n\n"
                                        "[HKEY_CURRENT_USER\\software\\tervan\\zarq]\n"
                                        "\"password\"=dword:00000007\n"
                                        "\"autologin\"=\"on\"\n"));
    EXPECT_EQ(store.ReadInteger(QStringLiteral("password")), 7);
    EXPECT_THROW(store.ReadString(QStringLiteral("password")), ERegistryException);
}

TEST_F(RegistryStoreTest, WrongTypeAndMissingValueRaiseTheirTexts) {
    RegistryStore store(path());
    ASSERT_TRUE(store.OpenKey(kKey, true));
    store.WriteString(QStringLiteral("autologin"), QStringLiteral("1"));
    store.WriteInteger(QStringLiteral("loginname"), 5);
    auto message = [](auto&& f) {
        try {
            f();
        } catch (const ERegistryException& e) {
            return e.message();
        }
        return QStringLiteral("no error");
    };
    EXPECT_EQ(message([&] { store.ReadInteger(QStringLiteral("autologin")); }),
              QStringLiteral("Invalid data type for 'autologin'"));
    EXPECT_EQ(message([&] { store.ReadString(QStringLiteral("loginname")); }),
              QStringLiteral("Invalid data type for 'loginname'"));
    EXPECT_EQ(message([&] { store.ReadString(QStringLiteral("nothing")); }),
              QStringLiteral("Failed to get data for 'nothing'"));
}

TEST_F(RegistryStoreTest, AWriteKeepsWhatOthersWroteMeanwhile) {
    RegistryStore dialog(path());
    ASSERT_TRUE(dialog.OpenKey(kKey, true));
    RegistryStore settings(path()); // e.g. the settings dialog or a second copy
    ASSERT_TRUE(settings.OpenKey(kKey, true));
    settings.WriteInteger(QStringLiteral("autorun"), 1);
    dialog.WriteString(QStringLiteral("loginname"), QStringLiteral("me"));
    RegistryStore check(path());
    ASSERT_TRUE(check.OpenKey(kKey, false));
    EXPECT_EQ(check.ReadInteger(QStringLiteral("autorun")), 1);
    EXPECT_EQ(check.ReadString(QStringLiteral("loginname")), QStringLiteral("me"));
}

TEST_F(RegistryStoreTest, UnparsableFileIsReportedAndMovedAsideNeverOverwritten) {
    const QByteArray broken = "Windows Registry Editor Version 5.00\n\n"
                              "[HKEY_CURRENT_USER\\software\\tervan\\zarq]\n"
                              "\"loginname\"=\"half written\n";
    putFile(broken);
    RegistryStore store(path());
    store.setClock([] { return QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9)); });
    try {
        store.OpenKey(kKey, true);
        FAIL() << "no report";
    } catch (const ERegistryException& e) {
        EXPECT_TRUE(e.message().contains(path())) << e.message().toStdString();
        EXPECT_TRUE(e.message().contains(QStringLiteral("line 4"))) << e.message().toStdString();
        EXPECT_TRUE(e.message().contains(QStringLiteral("zarq.reg.20240506-070809.bad")));
    }
    EXPECT_FALSE(QFile::exists(path()));
    ASSERT_EQ(badCopies(), QStringList{QStringLiteral("zarq.reg.20240506-070809.bad")});
    QFile copy(m_dir.path() + QStringLiteral("/tervan/zarq.reg.20240506-070809.bad"));
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), broken);

    // The same mishap again within the same second keeps both copies.
    putFile("junk");
    EXPECT_THROW(store.OpenKey(kKey, true), ERegistryException);
    EXPECT_EQ(badCopies().size(), 2);

    // Afterwards the store starts empty and writes normally.
    ASSERT_TRUE(store.OpenKey(kKey, true));
    store.WriteString(QStringLiteral("loginname"), QStringLiteral("new"));
    EXPECT_TRUE(fileContent().contains("\"loginname\"=\"new\""));
    EXPECT_EQ(badCopies().size(), 2);
}

TEST_F(RegistryStoreTest, FileBrokenBetweenOpenAndWriteIsMovedAsideFirst) {
    RegistryStore store(path());
    ASSERT_TRUE(store.OpenKey(kKey, true));
    putFile("Windows Registry Editor Version 5.00\n[x\n");
    EXPECT_THROW(store.WriteString(QStringLiteral("loginname"), QStringLiteral("a")),
                 ERegistryException);
    EXPECT_EQ(badCopies().size(), 1);
}

TEST_F(RegistryStoreTest, UnwritableLocationGivesTheWriteError) {
    // A file where the directory should be: no user can write there, not even root.
    QFile blocker(m_dir.path() + QStringLiteral("/tervan"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    RegistryStore store(path());
    EXPECT_FALSE(store.OpenKey(kKey, true));
    EXPECT_FALSE(store.ValueExists(QStringLiteral("loginname")));
    try {
        store.WriteString(QStringLiteral("loginname"), QStringLiteral("x"));
        FAIL() << "write succeeded";
    } catch (const ERegistryException& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Failed to set data for 'loginname'"));
        EXPECT_FALSE(e.detail().isEmpty());
    }
}

TEST_F(RegistryStoreTest, UnreadableFileIsLeftAlone) {
    // A directory in the file's place cannot be read as a file.
    ASSERT_TRUE(QDir().mkpath(path()));
    RegistryStore store(path());
    EXPECT_FALSE(store.OpenKey(kKey, true));
    EXPECT_THROW(store.WriteInteger(QStringLiteral("autologin"), 1), ERegistryException);
    EXPECT_TRUE(QFileInfo(path()).isDir());
    EXPECT_TRUE(badCopies().isEmpty());
}

TEST_F(RegistryStoreTest, KilledWriterLeavesAWholeFile) {
    {
        RegistryStore store(path());
        ASSERT_TRUE(store.OpenKey(kKey, true));
        store.WriteString(QStringLiteral("loginname"), QStringLiteral("first"));
    }
    for (int round = 0; round < 5; ++round) {
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(ready[0]);
            RegistryStore store(path());
            store.OpenKey(kKey, true);
            const QString big(20000, u'x');
            for (int i = 0;; ++i) {
                store.WriteString(QStringLiteral("big"), big + QString::number(i));
                if (i == 2)
                    (void)!::write(ready[1], "r", 1);
            }
        }
        ::close(ready[1]);
        char c;
        ASSERT_EQ(::read(ready[0], &c, 1), 1); // the child is writing in a loop now
        ::close(ready[0]);
        ::usleep(static_cast<useconds_t>(1000 * (round + 1)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);

        RegistryStore check(path());
        ASSERT_NO_THROW(ASSERT_TRUE(check.OpenKey(kKey, false)));
        EXPECT_EQ(check.ReadString(QStringLiteral("loginname")), QStringLiteral("first"));
        EXPECT_TRUE(check.ReadString(QStringLiteral("big")).startsWith(QString(20000, u'x')));
        EXPECT_TRUE(badCopies().isEmpty());
    }
}
