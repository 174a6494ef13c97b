// Runs the zarq program inside a network namespace made for the test, where the test
// decides what the kernel reports. Only addresses and routes are configured: no packet is
// sent. Needs root and `ip netns`; skips itself otherwise.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

struct Result {
    int exitCode = -1;
    QString out;
    QString err;
};

Result run(const QString& program, const QStringList& arguments) {
    QProcess p;
    p.start(program, arguments);
    Result r;
    if (!p.waitForStarted(30000) || !p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished(5000);
        r.err = QStringLiteral("could not run %1 %2").arg(program, arguments.join(u' '));
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

class NetworkNamespace : public testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root to make a network namespace";
        if (QStringLiteral(ZARQ_PROGRAM).isEmpty() || !QFileInfo::exists(ZARQ_PROGRAM))
            GTEST_SKIP() << "the zarq program is not built";
        if (run(u"ip"_s, {u"netns"_s, u"list"_s}).exitCode != 0)
            GTEST_SKIP() << "`ip netns` is not available";

        m_name = QStringLiteral("zarqtest%1x%2")
                     .arg(::getpid())
                     .arg(QRandomGenerator::global()->bounded(1000000));
        m_etc = u"/etc/netns/"_s + m_name;
        ASSERT_EQ(ip({u"netns"_s, u"add"_s, m_name}).exitCode, 0);
        m_made = true;
        inside({u"ip"_s, u"link"_s, u"add"_s, u"zq0"_s, u"type"_s, u"veth"_s, u"peer"_s, u"name"_s,
                u"zq1"_s});
        inside({u"ip"_s, u"link"_s, u"set"_s, u"zq0"_s, u"up"_s});
        inside({u"ip"_s, u"addr"_s, u"add"_s, u"192.0.2.10/24"_s, u"dev"_s, u"zq0"_s});
        inside({u"ip"_s, u"route"_s, u"add"_s, u"default"_s, u"via"_s, u"192.0.2.1"_s, u"dev"_s,
                u"zq0"_s});

        // `ip netns exec` shows this file as /etc/resolv.conf inside the namespace.
        ASSERT_TRUE(QDir().mkpath(m_etc));
        QFile resolv(m_etc + u"/resolv.conf"_s);
        ASSERT_TRUE(resolv.open(QIODevice::WriteOnly));
        resolv.write("# test namespace\nnameserver 198.51.100.53\nnameserver 203.0.113.53\n");
    }

    void TearDown() override {
        // Always, also after a failure: nothing of the test may stay on the machine.
        if (m_made) {
            EXPECT_EQ(ip({u"netns"_s, u"delete"_s, m_name}).exitCode, 0);
        }
        if (!m_etc.isEmpty() && QFileInfo::exists(m_etc)) {
            EXPECT_TRUE(QDir(m_etc).removeRecursively());
        }
    }

    Result ip(const QStringList& arguments) { return run(u"ip"_s, arguments); }

    // Runs a command inside the namespace; a failing set-up command fails the test.
    void inside(const QStringList& command) {
        const Result r = ip(QStringList{u"netns"_s, u"exec"_s, m_name} + command);
        ASSERT_EQ(r.exitCode, 0) << command.join(u' ').toStdString() << ": " << r.err.toStdString();
    }

    Result zarq(const QString& option) {
        return ip({u"netns"_s, u"exec"_s, m_name, QStringLiteral(ZARQ_PROGRAM), option});
    }

    QString sysfs(const QString& interface, const QString& file) {
        const Result r = ip({u"netns"_s, u"exec"_s, m_name, u"cat"_s,
                             u"/sys/class/net/"_s + interface + u'/' + file});
        return r.out.trimmed();
    }

    QString m_name;
    QString m_etc;
    bool m_made = false;
};

TEST_F(NetworkNamespace, LanAddressIsTheDefaultRouteAdaptersAddress) {
    const Result r = zarq(u"--lan-address"_s);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, u"192.0.2.10\n"_s);
}

TEST_F(NetworkNamespace, LanAddressIsFoundWhateverTheInterfaceIsCalled) {
    // The interface name travels inside a quoted query literal; quotes and backslashes in it
    // must not end or bend that literal.
    const QString names[] = {u"q'x"_s, u"a\\b"_s, u"x\\"_s};
    int n = 0;
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        const QString peer = QStringLiteral("zqp%1").arg(n);
        const QString address = QStringLiteral("198.51.100.%1").arg(10 + n);
        ++n;
        inside(
            {u"ip"_s, u"link"_s, u"add"_s, name, u"type"_s, u"veth"_s, u"peer"_s, u"name"_s, peer});
        inside({u"ip"_s, u"link"_s, u"set"_s, name, u"up"_s});
        inside({u"ip"_s, u"addr"_s, u"add"_s, address + u"/24"_s, u"dev"_s, name});
        inside({u"ip"_s, u"route"_s, u"replace"_s, u"default"_s, u"via"_s, u"198.51.100.1"_s,
                u"dev"_s, name});
        const Result r = zarq(u"--lan-address"_s);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_EQ(r.out, address + u'\n');
        inside({u"ip"_s, u"link"_s, u"del"_s, name});
    }
}

TEST_F(NetworkNamespace, SecondAddressIsJoinedWithABar) {
    inside({u"ip"_s, u"addr"_s, u"add"_s, u"192.0.2.11/24"_s, u"dev"_s, u"zq0"_s});
    const Result r = zarq(u"--lan-address"_s);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, u"192.0.2.10|192.0.2.11\n"_s);
}

TEST_F(NetworkNamespace, WithoutDefaultRouteThereIsNoLanAddress) {
    inside({u"ip"_s, u"route"_s, u"del"_s, u"default"_s});
    const Result r = zarq(u"--lan-address"_s);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, u"\n"_s);
}

TEST_F(NetworkNamespace, ReportShowsTheAdapterItsGatewayAndTheDnsServers) {
    const Result r = zarq(u"--network-report"_s);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QString mac = sysfs(u"zq0"_s, u"address"_s).toUpper();
    ASSERT_EQ(mac.size(), 17);
    EXPECT_TRUE(r.out.contains(u"网卡名称: zq0\n网卡MAC: "_s + mac +
                               u"\nIP地址:    192.0.2.10/255.255.255.0\n"
                               u"网关:    192.0.2.1/255.255.255.255\n\n"_s))
        << r.out.toStdString();
    const QString peerMac = sysfs(u"zq1"_s, u"address"_s).toUpper();
    EXPECT_TRUE(r.out.contains(u"网卡名称: zq1\n网卡MAC: "_s + peerMac +
                               u"\nIP地址:    0.0.0.0/0.0.0.0\n\n"_s))
        << r.out.toStdString();
    EXPECT_FALSE(r.out.contains(u"网卡名称: lo"_s));
    EXPECT_TRUE(r.out.endsWith(u"\n\nDNS 1: 198.51.100.53\nDNS 2: 203.0.113.53\n"_s))
        << r.out.toStdString();
}

TEST_F(NetworkNamespace, ReportListsEveryAdapterHoweverMany) {
    // Far more adapters than a fixed 5120-byte table could hold.
    constexpr int pairs = 20;
    for (int n = 0; n < pairs; ++n) {
        inside({u"ip"_s, u"link"_s, u"add"_s, QStringLiteral("zqa%1").arg(n), u"type"_s, u"veth"_s,
                u"peer"_s, u"name"_s, QStringLiteral("zqb%1").arg(n)});
    }
    const Result r = zarq(u"--network-report"_s);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.count(u"网卡名称: "_s), 2 + 2 * pairs);
    for (int n = 0; n < pairs; ++n) {
        EXPECT_TRUE(r.out.contains(QStringLiteral("网卡名称: zqa%1\n").arg(n)));
        EXPECT_TRUE(r.out.contains(QStringLiteral("网卡名称: zqb%1\n").arg(n)));
    }
    EXPECT_TRUE(r.out.contains(u"DNS 1: 198.51.100.53\n"_s));
}

} // namespace
