#include "shell/TTrayMenu.h"

namespace zarq {

TTrayMenu::TTrayMenu(QWidget* parent) : QMenu(parent) {
    setObjectName(QStringLiteral("SkinPopupMenu1"));
    N1 = addAction(QStringLiteral("显示主界面(&S)"));
    N1->setObjectName(QStringLiteral("N1"));
    E1 = addAction(QStringLiteral("退出动态域名系统(&E)"));
    E1->setObjectName(QStringLiteral("E1"));
}

} // namespace zarq
