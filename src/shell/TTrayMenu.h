#pragma once

#include <QMenu>

namespace zarq {

// The tray icon's menu (`SkinPopupMenu1`): "显示主界面(&S)" (N1) and "退出动态域名系统(&E)"
// (E1). The main window owns it and connects N1 to showing itself and E1 to its exit command.
class TTrayMenu : public QMenu {
    Q_OBJECT
public:
    explicit TTrayMenu(QWidget* parent = nullptr);

    QAction* N1 = nullptr;
    QAction* E1 = nullptr;
};

} // namespace zarq
