#include "shell/WindowActivation.h"

#include <QWidget>

namespace zarq {

void showAndRaise(QWidget* window) {
    if (!window)
        return;
    if (window->windowState() & Qt::WindowMinimized)
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace zarq
