// The program on a real X display whose tray is a StatusNotifierItem host, as on KDE Plasma,
// GNOME with the AppIndicator extension and most current panels. The host is this test: on a
// private session bus (dbus-daemon) it plays org.kde.StatusNotifierWatcher, takes the item's
// registration and then calls the item as a panel does: Activate for a click on the icon, and
// the exported menu's items (com.canonical.dbusmenu) for the right-click menu.
#include "XvfbFixture.h"
#include "support/WaitFor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QStandardPaths>

using namespace zarq::test;

namespace {

const QString kMainTitle = QStringLiteral("TERVAN 蓝杉果动态域名客户端 1.0");

// The panel's watcher: one host (the panel), the items that registered.
class StandInWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
public:
    bool hostRegistered() const { return true; }
    QStringList items() const { return registered; }
    int protocolVersion() const { return 0; }

    QStringList registered; // the items' bus names

public slots:
    void RegisterStatusNotifierItem(const QString& service, const QDBusMessage& message) {
        // An item names its bus name, or only its object path on the caller's connection.
        registered << (service.startsWith(u'/') ? message.service() : service);
        emit StatusNotifierItemRegistered(registered.last());
    }
    void RegisterStatusNotifierHost(const QString&) {}

signals:
    void StatusNotifierItemRegistered(const QString& service);
    void StatusNotifierItemUnregistered(const QString& service);
    void StatusNotifierHostRegistered();
};

// The menu's items with their labels (mnemonics as dbusmenu writes them, with "_").
void collectItems(const QDBusArgument& node, QMap<QString, int>& items) {
    int id = 0;
    QVariantMap properties;
    node.beginStructure();
    node >> id >> properties;
    node.beginArray();
    while (!node.atEnd()) {
        QDBusVariant child;
        node >> child;
        collectItems(qvariant_cast<QDBusArgument>(child.variant()), items);
    }
    node.endArray();
    node.endStructure();
    if (properties.contains(QStringLiteral("label")))
        items.insert(properties.value(QStringLiteral("label")).toString(), id);
}

class XvfbSniTest : public XvfbFixture {
protected:
    bool wantsTrayHost() const override { return false; }

    void SetUp() override {
        XvfbFixture::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            GTEST_SKIP() << "dbus-daemon is not installed (Debian package dbus-daemon); no "
                            "session bus for a StatusNotifierItem host here";
        bus.setStandardErrorFile(tmp.filePath(QStringLiteral("dbus.log")));
        bus.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                           QStringLiteral("--print-address=1")});
        ASSERT_TRUE(bus.waitForStarted(10000));
        QByteArray address;
        ASSERT_TRUE(waitFor([&] {
            address += bus.readAllStandardOutput();
            return address.contains('\n') || bus.state() == QProcess::NotRunning;
        }));
        ASSERT_EQ(bus.state(), QProcess::Running) << fileText("dbus.log").constData();
        busAddress = QString::fromLocal8Bit(address.trimmed());
        connection = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(busAddress, QStringLiteral("zarq-sni-test")));
        ASSERT_TRUE(connection->isConnected()) << connection->lastError().message().toStdString();
        ASSERT_TRUE(connection->registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
        ASSERT_TRUE(connection->registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                                               QDBusConnection::ExportAllSlots |
                                                   QDBusConnection::ExportAllSignals |
                                                   QDBusConnection::ExportAllProperties));
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress);
    }

    void TearDown() override {
        XvfbFixture::TearDown();
        if (connection) {
            connection.reset();
            QDBusConnection::disconnectFromBus(QStringLiteral("zarq-sni-test"));
        }
        if (bus.state() != QProcess::NotRunning) {
            bus.terminate();
            bus.waitForFinished(5000);
        }
    }

    bool shown() {
        const XWindow w = window(kMainTitle);
        return w.id != XCB_WINDOW_NONE && w.viewable;
    }

    QDBusMessage callItem(const QString& interface, const QString& path, const QString& method,
                          const QVariantList& args) {
        QDBusMessage call =
            QDBusMessage::createMethodCall(watcher.registered.value(0), path, interface, method);
        call.setArguments(args);
        return connection->call(call, QDBus::Block, 10000);
    }

    // The item's exported menu: label -> id.
    QMap<QString, int> menuItems() {
        const QDBusMessage menuPath =
            callItem(QStringLiteral("org.freedesktop.DBus.Properties"),
                     QStringLiteral("/StatusNotifierItem"), QStringLiteral("Get"),
                     {QStringLiteral("org.kde.StatusNotifierItem"), QStringLiteral("Menu")});
        if (menuPath.type() != QDBusMessage::ReplyMessage)
            return {};
        menu = qvariant_cast<QDBusObjectPath>(
                   qvariant_cast<QDBusVariant>(menuPath.arguments().value(0)).variant())
                   .path();
        const QDBusMessage layout = callItem(QStringLiteral("com.canonical.dbusmenu"), menu,
                                             QStringLiteral("GetLayout"), {0, -1, QStringList()});
        QMap<QString, int> items;
        if (layout.type() == QDBusMessage::ReplyMessage && layout.arguments().size() == 2)
            collectItems(qvariant_cast<QDBusArgument>(layout.arguments()[1]), items);
        return items;
    }

    bool clickMenuItem(int id) {
        const QDBusMessage reply =
            callItem(QStringLiteral("com.canonical.dbusmenu"), menu, QStringLiteral("Event"),
                     {id, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(0)), 0u});
        return reply.type() == QDBusMessage::ReplyMessage;
    }

    // Starts the program, waits for its item and closes its window into the tray.
    void startInTheTray() {
        startProgram();
        ASSERT_TRUE(waitFor([&] { return !watcher.registered.isEmpty() && shown(); }))
            << "registered: " << watcher.registered.join(u' ').toStdString()
            << "; log: " << fileText("zarq.log").constData();
        ASSERT_TRUE(closeWindow(kMainTitle))
            << "with a StatusNotifierItem host there is a tray: closing hides";
    }

    QProcess bus;
    QString busAddress;
    std::unique_ptr<QDBusConnection> connection;
    StandInWatcher watcher;
    QString menu;
};

TEST_F(XvfbSniTest, TheHostsActivationBringsTheClosedWindowBack) {
    startInTheTray();
    const QDBusMessage reply =
        callItem(QStringLiteral("org.kde.StatusNotifierItem"),
                 QStringLiteral("/StatusNotifierItem"), QStringLiteral("Activate"), {0, 0});
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    EXPECT_TRUE(waitFor([&] { return shown(); })) << fileText("zarq.log").constData();
}

TEST_F(XvfbSniTest, TheMenuTheHostShowsOnRightClickShowsTheWindowAndExits) {
    startInTheTray();
    const QMap<QString, int> items = menuItems();
    ASSERT_TRUE(items.contains(QStringLiteral("显示主界面(_S)")))
        << QStringList(items.keys()).join(u'|').toStdString();
    ASSERT_TRUE(items.contains(QStringLiteral("退出动态域名系统(_E)")));
    ASSERT_TRUE(clickMenuItem(items.value(QStringLiteral("显示主界面(_S)"))));
    EXPECT_TRUE(waitFor([&] { return shown(); }));

    ASSERT_TRUE(clickMenuItem(items.value(QStringLiteral("退出动态域名系统(_E)"))));
    ASSERT_TRUE(zarq.waitForFinished(30000));
    EXPECT_EQ(zarq.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(zarq.exitCode(), 0);
    EXPECT_TRUE(events().contains("signout")) << events().constData();
}

} // namespace

#include "XvfbSniTest.moc"
