#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

class QApplication;

namespace zarq {

// The product's look: one style sheet and our own pictures, compiled into the program as Qt
// resources under ":/zarq/".
//
// The program entry calls Skin::apply(app) once, right after creating the QApplication; every
// window created afterwards is drawn with the skin. The pictures are available before and
// without apply().
class Skin {
public:
    enum class Picture {
        DomainPage,  // tab picture of the first page, "动态域名" (64 x 64)
        NetworkPage, // tab picture of the second page, "网络信息" (64 x 64)
        Error,       // the message boxes' error picture (32 and 64)
    };

    // Sets the style sheet on the application and the application icon as the default
    // window icon.
    static void apply(QApplication& app);

    // The skin's style sheet text; empty only if the resources are missing from the build.
    static QString styleSheet();

    // The application icon in every size we ship (16 to 256); also the tray icon.
    static QIcon applicationIcon();

    // The tray icon: the application icon (the tray host picks the size it needs).
    static QIcon trayIcon() { return applicationIcon(); }

    static QIcon icon(Picture picture);
    static QPixmap pixmap(Picture picture, int size);

    // Resource path of one size of the application icon, e.g. ":/zarq/icons/zarq-32.png".
    static QString applicationIconPath(int size);
};

} // namespace zarq
