#include "soak/XvfbDisplay.h"

#include "support/ProcessProbe.h"

#include <QFile>
#include <QStandardPaths>

namespace soak {

XvfbDisplay::~XvfbDisplay() {
    bench::stopProcess(m_tray);
    bench::stopProcess(m_x);
}

QString XvfbDisplay::start() {
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty())
        return QStringLiteral("needs Xvfb (Debian package xvfb)");
    int n = 95;
    while (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)) ||
           QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)))
        ++n;
    m_name = QStringLiteral(":%1").arg(n);
    m_x.start(xvfb, {m_name, QStringLiteral("-screen"), QStringLiteral("0"),
                     QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                     QStringLiteral("tcp"), QStringLiteral("-noreset")});
    const QString socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(n);
    if (!bench::waitFor([&] { return QFile::exists(socket); }, 30000))
        return QStringLiteral("Xvfb did not start");
    return {};
}

void XvfbDisplay::startTray(const QProcessEnvironment& env) {
    const QString trayer = QStandardPaths::findExecutable(QStringLiteral("trayer"));
    if (trayer.isEmpty())
        return;
    m_tray.setProcessEnvironment(env);
    m_tray.start(trayer, {});
    m_tray.waitForStarted(10000);
    bench::waitFor([] { return false; }, 500); // the tray host takes its place
}

} // namespace soak
