#include "shell/TTrayIcon.h"
#include "shell/SystemTrayBackend.h"
#include "shell/TSimpleTimer.h"
#include "shell/TTrayMenu.h"
#include "shell/WindowActivation.h"

#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>
#include <type_traits>

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
    EXPECT_TRUE((std::is_same_v<TSimpleTimer, QTimer>));
}

} // namespace

namespace {

// The real backend turns QSystemTrayIcon's activations into the press/release sequence the
// click logic expects (Qt reports a click on the press and the second press of a double
// click as DoubleClick).
TEST(SystemTrayBackend, TranslatesActivationsIntoClicks) {
    QWidget owner;
    auto backend = std::make_unique<SystemTrayBackend>();
    SystemTrayBackend* real = backend.get();
    QList<Event> events;
    QObject::connect(real, &TrayBackend::mouseEvent, [&](Event e, QPoint) { events << e; });
    TTrayIcon icon(&owner, std::move(backend));
    icon.setDoubleClickInterval(30);
    QSignalSpy clicks(&icon, &TTrayIcon::Click);
    int doubles = 0;
    QObject::connect(&icon, &TTrayIcon::DblClick, [&] { ++doubles; });

    emit real->trayIcon()->activated(QSystemTrayIcon::Trigger);
    emit real->trayIcon()->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_EQ(doubles, 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !icon.clickPending(); }, 10000));
    EXPECT_EQ(clicks.count(), 0);

    emit real->trayIcon()->activated(QSystemTrayIcon::Trigger);
    ASSERT_TRUE(QTest::qWaitFor([&] { return clicks.count() == 1; }, 10000));

    events.clear();
    emit real->trayIcon()->activated(QSystemTrayIcon::Context);
    emit real->trayIcon()->activated(QSystemTrayIcon::MiddleClick);
    EXPECT_EQ(events, (QList<Event>{Event::RightPress, Event::RightRelease, Event::MiddlePress,
                                    Event::MiddleRelease}));
}

TEST(SystemTrayBackend, TheMenuIsHandedToTheTray) {
    SystemTrayBackend backend;
    TTrayMenu menu;
    backend.setMenu(&menu);
    EXPECT_EQ(backend.trayIcon()->contextMenu(), &menu);
    backend.setToolTip("tip");
    EXPECT_EQ(backend.trayIcon()->toolTip(), "tip");
}

} // namespace
