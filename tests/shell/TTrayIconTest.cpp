#include "shell/TTrayIcon.h"
#include "shell/SystemTrayBackend.h"
#include "shell/TTrayMenu.h"
#include "shell/WindowActivation.h"

#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

using namespace zarq;
using Event = TrayBackend::Event;

namespace {

// A notification area that tests drive by hand.
class FakeTray : public TrayBackend {
public:
    bool available = true;
    bool shown = false;
    QString tip;
    QIcon icon;
    QMenu* menu = nullptr;
    QList<QPoint> popups;

    bool isAvailable() const override { return available; }
    void setIcon(const QIcon& i) override { icon = i; }
    void setToolTip(const QString& t) override { tip = t; }
    void setMenu(QMenu* m) override { menu = m; }
    void popUpMenu(QMenu* m, const QPoint& pos) override {
        EXPECT_EQ(m, menu);
        popups << pos;
    }
    void show() override { shown = true; }
    void hide() override { shown = false; }

    void send(Event e, QPoint pos = {10, 20}) { emit mouseEvent(e, pos); }
};

class TTrayIconTest : public testing::Test {
protected:
    void SetUp() override {
        auto backend = std::make_unique<FakeTray>();
        tray = backend.get();
        icon = new TTrayIcon(&owner, std::move(backend));
        icon->setDoubleClickInterval(30);
        icon->setPopupMenu(&menu);
    }
    void clickOnce() {
        tray->send(Event::LeftPress);
        tray->send(Event::LeftRelease);
    }
    // Waits until the click decision is made (the double-click interval has run out).
    void settle() {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !icon->clickPending(); }, 10000));
    }

    QWidget owner;
    TTrayMenu menu;
    FakeTray* tray = nullptr;
    TTrayIcon* icon = nullptr; // owned by `owner`
};

TEST_F(TTrayIconTest, ASingleClickIsReportedOnlyAfterTheDoubleClickInterval) {
    QSignalSpy clicks(icon, &TTrayIcon::Click);
    QSignalSpy doubles(icon, &TTrayIcon::DblClick);
    clickOnce();
    EXPECT_EQ(clicks.count(), 0); // not yet: a double click may follow
    EXPECT_TRUE(icon->clickPending());
    // The click-decision timer stops after its one tick (a simple timer with auto-stop); a
    // timer that went on ticking would keep the decision pending and fail the wait.
    settle();
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_EQ(doubles.count(), 0);
}

TEST_F(TTrayIconTest, ADoubleClickIsOneDblClickAndNoClick) {
    QSignalSpy clicks(icon, &TTrayIcon::Click);
    int shown = 0;
    QObject::connect(icon, &TTrayIcon::DblClick, [&] { ++shown; });
    clickOnce();
    tray->send(Event::LeftDoubleClick);
    tray->send(Event::LeftRelease);
    EXPECT_EQ(shown, 1);
    settle();
    EXPECT_EQ(clicks.count(), 0);
    // The next single click is a click again.
    clickOnce();
    settle();
    EXPECT_EQ(clicks.count(), 1);
}

TEST_F(TTrayIconTest, WithoutADoubleClickReceiverAClickIsImmediate) {
    QSignalSpy clicks(icon, &TTrayIcon::Click);
    clickOnce();
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_FALSE(icon->clickPending());
}

TEST_F(TTrayIconTest, ARightPressOpensTheMenuAtThePointer) {
    QSignalSpy downs(icon, &TTrayIcon::MouseDown);
    QSignalSpy ups(icon, &TTrayIcon::MouseUp);
    tray->send(Event::RightPress, {300, 400});
    ASSERT_EQ(tray->popups.size(), 1);
    EXPECT_EQ(tray->popups[0], QPoint(300, 400));
    EXPECT_EQ(downs.count(), 1);
    EXPECT_EQ(downs[0][0].value<Qt::MouseButton>(), Qt::RightButton);
    EXPECT_EQ(ups.count(), 0);
    tray->send(Event::RightRelease, {300, 400});
    EXPECT_EQ(ups.count(), 1);
    EXPECT_EQ(tray->popups.size(), 1);
    EXPECT_EQ(tray->menu, &menu);
    clickOnce(); // a left click does not open it (LeftPopup off)
    EXPECT_EQ(tray->popups.size(), 1);
}

TEST_F(TTrayIconTest, DisabledIgnoresEveryClick) {
    QSignalSpy clicks(icon, &TTrayIcon::Click);
    QSignalSpy doubles(icon, &TTrayIcon::DblClick);
    QSignalSpy downs(icon, &TTrayIcon::MouseDown);
    icon->setEnabled(false);
    for (Event e : {Event::LeftPress, Event::LeftRelease, Event::LeftDoubleClick, Event::RightPress,
                    Event::RightRelease, Event::MiddlePress})
        tray->send(e);
    EXPECT_FALSE(icon->clickPending());
    EXPECT_EQ(clicks.count() + doubles.count() + downs.count(), 0);
    EXPECT_TRUE(tray->popups.isEmpty());
}

TEST_F(TTrayIconTest, TheTooltipIsCutTo127Characters) {
    const QString longAscii(200, QLatin1Char('a'));
    const QString chinese = QString(130, QChar(0x57DF)); // 域
    QString astral;
    for (int i = 0; i < 130; ++i)
        astral += QString::fromUcs4(U"\U0001F332", 1);
    struct Case {
        QString hint;
        bool showHint;
        QString tip;
    };
    const Case cases[] = {
        {"", true, ""},
        {"TERVAN", true, "TERVAN"},
        {"TERVAN", false, ""},
        {QString(127, 'b'), true, QString(127, 'b')},
        {longAscii, true, longAscii.left(127)},
        {chinese, true, chinese.left(127)},
        {astral, true, astral.left(254)}, // 127 characters of two UTF-16 units each
    };
    for (const Case& c : cases) {
        icon->setShowHint(c.showHint);
        icon->setHint(c.hint);
        EXPECT_EQ(tray->tip, c.tip) << c.hint.size() << c.showHint;
    }
}

TEST_F(TTrayIconTest, TheIconStaysForTheLifeOfTheOwner) {
    icon->setIcon(QIcon(QStringLiteral(":/zarq/icons/zarq-32.png")));
    icon->setIconVisible(true);
    EXPECT_TRUE(tray->shown);
    EXPECT_FALSE(tray->icon.isNull());
    bool* shown = &tray->shown;
    bool stillShown = true;
    QObject::connect(tray, &QObject::destroyed, [&] { stillShown = *shown; });
    delete icon;
    EXPECT_FALSE(stillShown);
    icon = nullptr;
}

TEST_F(TTrayIconTest, MinimisingHidesTheWindowIntoTheTray) {
    icon->setMinimizeToTray(true);
    owner.show();
    owner.showMinimized();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !owner.isVisible(); }, 10000));
    EXPECT_TRUE(tray->shown);

    QObject::connect(icon, &TTrayIcon::DblClick, &owner, [&] { showAndRaise(&owner); });
    tray->send(Event::LeftDoubleClick);
    EXPECT_TRUE(owner.isVisible());
    EXPECT_FALSE(owner.isMinimized());

    // The same from a StatusNotifierItem host's one activation.
    owner.showMinimized();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !owner.isVisible(); }, 10000));
    tray->send(Event::PrimaryActivation);
    EXPECT_TRUE(owner.isVisible());
    EXPECT_FALSE(owner.isMinimized());
    EXPECT_FALSE(icon->clickPending());
}

TEST_F(TTrayIconTest, WithoutATrayMinimisingStaysAPlainMinimise) {
    tray->available = false;
    icon->setMinimizeToTray(true);
    owner.show();
    owner.showMinimized();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_TRUE(owner.isVisible());
    EXPECT_TRUE(owner.isMinimized());
}

TEST(TTrayMenu, HasTheTwoItems) {
    TTrayMenu menu;
    ASSERT_EQ(menu.actions().size(), 2);
    EXPECT_EQ(menu.N1->text(), "显示主界面(&S)");
    EXPECT_EQ(menu.E1->text(), "退出动态域名系统(&E)");
    EXPECT_EQ(menu.actions()[0], menu.N1);
}

} // namespace

namespace {

// The real backend turns QSystemTrayIcon's activations into the press/release sequence the
// click logic expects (Qt reports a click on the press and the second press of a double
// click as DoubleClick). This is the classic XEmbed tray: the host probe says no item is
// docked as a StatusNotifierItem.
TEST(SystemTrayBackend, TranslatesActivationsIntoClicks) {
    QWidget owner;
    int probes = 0;
    auto backend = std::make_unique<SystemTrayBackend>(nullptr, [&] {
        ++probes;
        return false;
    });
    SystemTrayBackend* real = backend.get();
    QList<Event> events;
    QObject::connect(real, &TrayBackend::mouseEvent, [&](Event e, QPoint) { events << e; });
    TTrayIcon icon(&owner, std::move(backend));
    icon.setDoubleClickInterval(30);
    QSignalSpy clicks(&icon, &TTrayIcon::Click);
    int doubles = 0;
    QObject::connect(&icon, &TTrayIcon::DblClick, [&] { ++doubles; });

    emit real->trayIcon()->activated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(doubles, 0) << "on a classic tray a single click is not the way back";
    emit real->trayIcon()->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_EQ(doubles, 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !icon.clickPending(); }, 10000));
    EXPECT_EQ(clicks.count(), 0);

    emit real->trayIcon()->activated(QSystemTrayIcon::Trigger);
    ASSERT_TRUE(QTest::qWaitFor([&] { return clicks.count() == 1; }, 10000));
    EXPECT_EQ(doubles, 1);

    events.clear();
    emit real->trayIcon()->activated(QSystemTrayIcon::Context);
    emit real->trayIcon()->activated(QSystemTrayIcon::MiddleClick);
    EXPECT_EQ(events, (QList<Event>{Event::RightPress, Event::RightRelease, Event::MiddlePress,
                                    Event::MiddleRelease}));
    EXPECT_EQ(probes, 1) << "the host kind is asked once and kept";
}

// On a StatusNotifierItem host the only activation Qt reports is Trigger; it brings the
// window back at once, as a double click does on a classic tray, and leaves no click behind.
TEST(SystemTrayBackend, OnAStatusNotifierHostTheActivationIsTheDoubleClick) {
    QWidget owner;
    auto backend = std::make_unique<SystemTrayBackend>(nullptr, [] { return true; });
    SystemTrayBackend* real = backend.get();
    QList<Event> events;
    QObject::connect(real, &TrayBackend::mouseEvent, [&](Event e, QPoint) { events << e; });
    TTrayIcon icon(&owner, std::move(backend));
    icon.setDoubleClickInterval(30);
    QSignalSpy clicks(&icon, &TTrayIcon::Click);
    QObject::connect(&icon, &TTrayIcon::DblClick, &owner, [&] { showAndRaise(&owner); });

    emit real->trayIcon()->activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(owner.isVisible());
    EXPECT_FALSE(icon.clickPending());
    EXPECT_EQ(events, QList<Event>{Event::PrimaryActivation});
    QCoreApplication::processEvents();
    EXPECT_EQ(clicks.count(), 0); // and none can follow: no click decision is pending

    events.clear();
    emit real->trayIcon()->activated(QSystemTrayIcon::Context);
    EXPECT_EQ(events, (QList<Event>{Event::RightPress, Event::RightRelease}));
}

// The tray icon hands its menu and its (cut) tooltip to the real notification area.
TEST(SystemTrayBackend, TheMenuAndTheTooltipReachTheTray) {
    QWidget owner;
    auto backend = std::make_unique<SystemTrayBackend>();
    SystemTrayBackend* real = backend.get();
    TTrayIcon icon(&owner, std::move(backend));
    TTrayMenu menu;
    icon.setPopupMenu(&menu);
    EXPECT_EQ(real->trayIcon()->contextMenu(), &menu);
    icon.setHint(QString(130, QLatin1Char('h')));
    EXPECT_EQ(real->trayIcon()->toolTip(), QString(127, QLatin1Char('h')));
    icon.setShowHint(false);
    EXPECT_EQ(real->trayIcon()->toolTip(), QString());
}

} // namespace
