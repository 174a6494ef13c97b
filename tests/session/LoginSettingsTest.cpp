#include "session/LoginSettings.h"
#include "platform/RegistryStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace zarq;

namespace {

const QString kZone = QStringLiteral("dyn.tervan.com");
const QString kKey = QString::fromLatin1(LoginSettings::kRegistryKey);
// Keys computed independently (Python hashlib, GBK bytes) for the zone above.
const QByteArray kAliceSecret = "4de211c33a53338595c37d2503f95f77";      // alice / secret
const QByteArray kBlankAliceSecret = "550222cd98238098fdc629ec5e5dfa07"; // " alice " / secret
const QByteArray kChinese = "838467882823dd1eee0e9ec3a6cdfda5";          // 张三 / 密码
const QByteArray kAliceAbcdefgh = "434fb9705d8b686f3e7c6d1ecd2f642d";    // alice / abcdefgh
const QByteArray kEmptyEmpty = "81fe76ebb3dca093c813a17073e1f5bc";       // "" / ""

class LoginSettingsTest : public ::testing::Test {
protected:
    QString path() const { return m_dir.path() + QStringLiteral("/tervan/zarq.reg"); }
    void store(const std::function<void(RegistryStore&)>& fill) {
        RegistryStore registry(path());
        ASSERT_TRUE(registry.OpenKey(kKey, true));
        fill(registry);
    }
    QString savedString(const QString& name) {
        RegistryStore registry(path());
        EXPECT_TRUE(registry.OpenKey(kKey, false));
        return registry.ReadString(name);
    }
    qint32 savedInteger(const QString& name) {
        RegistryStore registry(path());
        EXPECT_TRUE(registry.OpenKey(kKey, false));
        return registry.ReadInteger(name);
    }

    QTemporaryDir m_dir;
};

struct SubmitCase {
    const char* what;
    std::optional<QString> storedPassword; // the "password" value, when there is one
    std::function<void(LoginBoxes&)> edit; // what the user changes after loading
    QByteArray signInKey;                  // LoginKey after the sign-in's key update
    QString savedPassword;
    QString savedName;
};

} // namespace

TEST_F(LoginSettingsTest, SubmitRules) {
    const QString alice = QStringLiteral("alice");
    const SubmitCase cases[] = {
        {"untouched placeholder keeps the loaded key", QString::fromLatin1(kAliceSecret),
         [](LoginBoxes&) {}, kAliceSecret, QString::fromLatin1(kAliceSecret), alice},
        {"changed name keeps the old key", QString::fromLatin1(kAliceSecret),
         [](LoginBoxes& b) { b.Edit1 = QStringLiteral("bob"); }, kAliceSecret,
         QString::fromLatin1(kAliceSecret), QStringLiteral("bob")},
        {"typed password derives a new key", QString::fromLatin1(kAliceAbcdefgh),
         [](LoginBoxes& b) { b.PasswordEdit1 = QStringLiteral("secret"); }, kAliceSecret,
         QString::fromLatin1(kAliceSecret), alice},
        {"a stored value of 10 characters is no key; its first 8 act as typed",
         QStringLiteral("abcdefghij"), [](LoginBoxes&) {}, kAliceAbcdefgh,
         QString::fromLatin1(kAliceAbcdefgh), alice},
        {"blanks are kept in the key but trimmed when saved", std::nullopt,
         [](LoginBoxes& b) {
             b.Edit1 = QStringLiteral(" alice ");
             b.PasswordEdit1 = QStringLiteral("secret");
         },
         kBlankAliceSecret, QString::fromLatin1(kBlankAliceSecret), alice},
        {"typed password equal to the placeholder counts as untouched",
         QString::fromLatin1(kAliceSecret),
         [](LoginBoxes& b) {
             b.PasswordEdit1.clear();
             b.PasswordEdit1 = QStringLiteral("4de211c3");
         },
         kAliceSecret, QString::fromLatin1(kAliceSecret), alice},
        {"remember-password off saves an empty password", QString::fromLatin1(kAliceSecret),
         [](LoginBoxes& b) { b.CheckBox1 = false; }, kAliceSecret, QString(), alice},
        {"empty password box saves an empty password", std::nullopt,
         [](LoginBoxes& b) {
             b.Edit1.clear();
             b.PasswordEdit1.clear();
         },
         kEmptyEmpty, QString(), QString()},
        {"Chinese name and password are hashed as code page 936", std::nullopt,
         [](LoginBoxes& b) {
             b.Edit1 = QStringLiteral("张三");
             b.PasswordEdit1 = QStringLiteral("密码");
         },
         kChinese, QString::fromLatin1(kChinese), QStringLiteral("张三")},
    };
    for (const SubmitCase& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(path());
        store([&](RegistryStore& r) {
            r.WriteString(QStringLiteral("loginname"), alice);
            if (c.storedPassword)
                r.WriteString(QStringLiteral("password"), *c.storedPassword);
        });
        RegistryStore registry(path());
        LoginBoxes boxes = LoginBoxes::designState(kZone);
        QByteArray loginKey;
        LoginSettings::loadsetting(registry, boxes, loginKey);
        if (!c.storedPassword)
            boxes.CheckBox1 = true; // as the user would tick it with nothing stored
        c.edit(boxes);
        const QByteArray before = loginKey;
        LoginSettings::savesetting(registry, boxes, loginKey);
        EXPECT_EQ(loginKey, before); // saving never changes the held key
        LoginSettings::updateLoginKey(boxes, loginKey);
        EXPECT_EQ(loginKey, c.signInKey);
        EXPECT_EQ(savedString(QStringLiteral("password")), c.savedPassword);
        EXPECT_EQ(savedString(QStringLiteral("loginname")), c.savedName);
    }
}

TEST_F(LoginSettingsTest, PlaceholderIsCaseSensitive) {
    LoginBoxes boxes = LoginBoxes::designState(kZone);
    boxes.Edit1 = QStringLiteral("alice");
    boxes.PasswordEdit1 = QStringLiteral("4DE211C3");
    EXPECT_FALSE(LoginSettings::isPasswordUntouched(boxes, kAliceSecret));
    boxes.PasswordEdit1 = QStringLiteral("4de211c3");
    EXPECT_TRUE(LoginSettings::isPasswordUntouched(boxes, kAliceSecret));
    EXPECT_FALSE(LoginSettings::isPasswordUntouched(boxes, kAliceSecret.left(31)));
}

TEST_F(LoginSettingsTest, LoadingWithNothingStoredKeepsTheDesignState) {
    RegistryStore registry(path());
    LoginBoxes boxes = LoginBoxes::designState(kZone);
    QByteArray loginKey;
    LoginSettings::loadsetting(registry, boxes, loginKey);
    EXPECT_TRUE(boxes.Edit1.isEmpty());
    EXPECT_EQ(boxes.ComboBox1, kZone);
    EXPECT_TRUE(boxes.PasswordEdit1.isEmpty());
    EXPECT_TRUE(boxes.CheckBox1);
    EXPECT_TRUE(boxes.CheckBox2);
    EXPECT_FALSE(boxes.Checkbox3);
    EXPECT_TRUE(loginKey.isEmpty());
}

TEST_F(LoginSettingsTest, LoadingFillsEveryBox) {
    struct Case {
        QString domain;
        QString password;
        qint32 autologin, lanzarq;
        QString expectZone;
        bool expectRemember, expectAuto, expectLan;
    };
    const Case cases[] = {
        {QStringLiteral("DYN.Tervan.com"), QString::fromLatin1(kAliceSecret), 0, 7, kZone, true,
         false, true},
        {QStringLiteral("other.zone"), QString(), 1, 0, kZone, false, true, false},
    };
    for (const Case& c : cases) {
        QFile::remove(path());
        store([&](RegistryStore& r) {
            r.WriteString(QStringLiteral("loginname"), QStringLiteral("alice"));
            r.WriteString(QStringLiteral("logindomain"), c.domain);
            r.WriteString(QStringLiteral("password"), c.password);
            r.WriteInteger(QStringLiteral("autologin"), c.autologin);
            r.WriteInteger(QStringLiteral("lanzarq"), c.lanzarq);
        });
        RegistryStore registry(path());
        LoginBoxes boxes = LoginBoxes::designState(kZone);
        QByteArray loginKey = "stale";
        LoginSettings::loadsetting(registry, boxes, loginKey);
        EXPECT_EQ(boxes.Edit1, QStringLiteral("alice"));
        EXPECT_EQ(boxes.ComboBox1, c.expectZone);
        EXPECT_EQ(loginKey, c.password.toLatin1());
        EXPECT_EQ(boxes.PasswordEdit1, c.password.left(8));
        EXPECT_EQ(boxes.CheckBox1, c.expectRemember);
        EXPECT_EQ(boxes.CheckBox2, c.expectAuto);
        EXPECT_EQ(boxes.Checkbox3, c.expectLan);
    }
}

TEST_F(LoginSettingsTest, SavedOptionsAreNumbers) {
    RegistryStore registry(path());
    LoginBoxes boxes = LoginBoxes::designState(kZone);
    boxes.CheckBox2 = false;
    boxes.Checkbox3 = true;
    boxes.ComboBox1 = QStringLiteral("  dyn.tervan.com\t");
    LoginSettings::savesetting(registry, boxes, {});
    EXPECT_EQ(savedInteger(QStringLiteral("autologin")), 0);
    EXPECT_EQ(savedInteger(QStringLiteral("lanzarq")), 1);
    EXPECT_EQ(savedString(QStringLiteral("logindomain")), kZone);
}

TEST_F(LoginSettingsTest, WrongRegistryTypeStopsLoadingAtThatValue) {
    store([](RegistryStore& r) {
        r.WriteString(QStringLiteral("loginname"), QStringLiteral("alice"));
        r.WriteInteger(QStringLiteral("password"), 12345678);
        r.WriteInteger(QStringLiteral("autologin"), 0);
    });
    RegistryStore registry(path());
    LoginBoxes boxes = LoginBoxes::designState(kZone);
    QByteArray loginKey;
    try {
        LoginSettings::loadsetting(registry, boxes, loginKey);
        FAIL() << "loaded a number as the password";
    } catch (const ERegistryException& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Invalid data type for 'password'"));
    }
    EXPECT_EQ(boxes.Edit1, QStringLiteral("alice")); // read before the bad value
    EXPECT_TRUE(boxes.CheckBox2);                    // never read
    EXPECT_TRUE(loginKey.isEmpty());
}

// Watches the settings folder: what was created there and what was renamed onto which name.
class FolderWatch {
public:
    explicit FolderWatch(const QString& dir) {
        m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_fd >= 0)
            ::inotify_add_watch(m_fd, QFile::encodeName(dir).constData(), IN_CREATE | IN_MOVED_TO);
    }
    ~FolderWatch() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool ok() const { return m_fd >= 0; }
    // Every event since the last call, as "create NAME" and "moved NAME".
    QStringList events() {
        QStringList out;
        alignas(inotify_event) char buffer[8192];
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n <= 0)
                return out;
            for (ssize_t at = 0; at < n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
                const QString name = QFile::decodeName(e->len ? e->name : "");
                if (e->mask & IN_CREATE)
                    out << QStringLiteral("create ") + name;
                if (e->mask & IN_MOVED_TO)
                    out << QStringLiteral("moved ") + name;
                at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            }
        }
    }

private:
    int m_fd = -1;
};

TEST_F(LoginSettingsTest, ASaveIsOneReplacementOfTheFile) {
    const QString dir = m_dir.path() + QStringLiteral("/tervan");
    ASSERT_TRUE(QDir().mkpath(dir));
    for (const bool fileExists : {false, true}) {
        SCOPED_TRACE(fileExists ? "over a saved login" : "first save");
        QFile::remove(path());
        if (fileExists) {
            store([](RegistryStore& r) {
                r.WriteString(QStringLiteral("loginname"), QStringLiteral("bob"));
                r.WriteString(QStringLiteral("other"), QStringLiteral("kept"));
            });
        }
        RegistryStore registry(path());
        LoginBoxes boxes = LoginBoxes::designState(kZone);
        QByteArray loginKey;
        LoginSettings::loadsetting(registry, boxes, loginKey);
        boxes.Edit1 = QStringLiteral("alice");
        boxes.PasswordEdit1 = QStringLiteral("secret");
        boxes.CheckBox1 = true;
        boxes.Checkbox3 = true;
        FolderWatch watch(dir);
        ASSERT_TRUE(watch.ok());
        LoginSettings::savesetting(registry, boxes, loginKey);
        const QStringList events = watch.events();
        EXPECT_EQ(events.filter(QStringLiteral("moved ")), QStringList{"moved zarq.reg"})
            << events.join(u',').toStdString();
        // One temporary file (the lock file may be made too, when it did not exist yet).
        EXPECT_EQ(events.filter(QStringLiteral("create ")).size() -
                      events.filter(QStringLiteral(".lock")).size(),
                  1)
            << events.join(u',').toStdString();
        EXPECT_EQ(savedString(QStringLiteral("loginname")), QStringLiteral("alice"));
        EXPECT_EQ(savedString(QStringLiteral("logindomain")), kZone);
        EXPECT_EQ(savedString(QStringLiteral("password")), QString::fromLatin1(kAliceSecret));
        EXPECT_EQ(savedInteger(QStringLiteral("autologin")), 1);
        EXPECT_EQ(savedInteger(QStringLiteral("lanzarq")), 1);
        if (fileExists) {
            EXPECT_EQ(savedString(QStringLiteral("other")), QStringLiteral("kept"));
        }
    }
}

TEST_F(LoginSettingsTest, AFailedSaveChangesNothing) {
    store([](RegistryStore& r) {
        r.WriteString(QStringLiteral("loginname"), QStringLiteral("bob"));
    });
    RegistryStore registry(path());
    LoginBoxes boxes = LoginBoxes::designState(kZone);
    QByteArray loginKey;
    LoginSettings::loadsetting(registry, boxes, loginKey);
    boxes.Edit1 = QStringLiteral("alice");
    // A file size limit makes the write of the new file fail (root included); the signal
    // that would end the process is ignored for the moment.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tiny = saved;
    tiny.rlim_cur = 16;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
    try {
        LoginSettings::savesetting(registry, boxes, loginKey);
        ADD_FAILURE() << "saving succeeded";
    } catch (const ERegistryException& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Failed to set data for 'loginname'"));
        EXPECT_FALSE(e.detail().isEmpty());
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(savedString(QStringLiteral("loginname")), QStringLiteral("bob"));
    EXPECT_EQ(QDir(m_dir.path() + QStringLiteral("/tervan")).entryList(QDir::Files),
              QStringList{"zarq.reg"}); // no temporary file left behind
}

TEST_F(LoginSettingsTest, FailedWriteReachesTheCaller) {
    QFile blocker(m_dir.path() + QStringLiteral("/tervan"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    RegistryStore registry(path());
    LoginBoxes boxes = LoginBoxes::designState(kZone);
    QByteArray loginKey;
    LoginSettings::loadsetting(registry, boxes, loginKey); // finds nothing, raises nothing
    boxes.Edit1 = QStringLiteral("alice");
    try {
        LoginSettings::savesetting(registry, boxes, loginKey);
        FAIL() << "saving succeeded";
    } catch (const ERegistryException& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Failed to set data for 'loginname'"));
    }
}
