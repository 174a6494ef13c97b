#include "shell/Skin.h"

#include <QApplication>
#include <gtest/gtest.h>

using namespace zarq;

TEST(Skin, ShipsItsStyleSheetAndPictures) {
    EXPECT_TRUE(Skin::styleSheet().contains("QPushButton"));
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QPixmap p(Skin::applicationIconPath(size));
        EXPECT_EQ(p.size(), QSize(size, size)) << size;
    }
    EXPECT_EQ(Skin::pixmap(Skin::Picture::DomainPage, 64).size(), QSize(64, 64));
    EXPECT_EQ(Skin::pixmap(Skin::Picture::NetworkPage, 64).size(), QSize(64, 64));
    EXPECT_FALSE(Skin::pixmap(Skin::Picture::Error, 32).isNull());
    EXPECT_FALSE(Skin::trayIcon().isNull());
}

TEST(Skin, ApplyGivesTheApplicationItsLookAndIcon) {
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    ASSERT_NE(app, nullptr);
    Skin::apply(*app);
    EXPECT_EQ(app->styleSheet(), Skin::styleSheet());
    EXPECT_FALSE(QApplication::windowIcon().isNull());
    app->setStyleSheet(QString());
}
