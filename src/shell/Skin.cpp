#include "shell/Skin.h"

#include <QApplication>
#include <QFile>

namespace zarq {

namespace {
constexpr int kIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};
} // namespace

void Skin::apply(QApplication& app) {
    app.setStyleSheet(styleSheet());
    app.setWindowIcon(applicationIcon());
}

QString Skin::styleSheet() {
    QFile file(QStringLiteral(":/zarq/skin.qss"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

QString Skin::applicationIconPath(int size) {
    return QStringLiteral(":/zarq/icons/zarq-%1.png").arg(size);
}

QIcon Skin::applicationIcon() {
    QIcon icon;
    for (int size : kIconSizes)
        icon.addFile(applicationIconPath(size), QSize(size, size));
    return icon;
}

QIcon Skin::icon(Picture picture) {
    QIcon icon;
    switch (picture) {
    case Picture::DomainPage:
        icon.addFile(QStringLiteral(":/zarq/icons/tab-domain.png"), QSize(64, 64));
        break;
    case Picture::NetworkPage:
        icon.addFile(QStringLiteral(":/zarq/icons/tab-network.png"), QSize(64, 64));
        break;
    case Picture::Error:
        icon.addFile(QStringLiteral(":/zarq/icons/error-32.png"), QSize(32, 32));
        icon.addFile(QStringLiteral(":/zarq/icons/error-64.png"), QSize(64, 64));
        break;
    }
    return icon;
}

QPixmap Skin::pixmap(Picture picture, int size) {
    return icon(picture).pixmap(QSize(size, size));
}

} // namespace zarq
