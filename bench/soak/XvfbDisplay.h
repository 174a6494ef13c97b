#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

namespace soak {

// An Xvfb display for the desktop soak, with trayer as its tray host when it is installed.
class XvfbDisplay {
public:
    XvfbDisplay() = default;
    ~XvfbDisplay();
    XvfbDisplay(const XvfbDisplay&) = delete;
    XvfbDisplay& operator=(const XvfbDisplay&) = delete;

    // Starts Xvfb on a free display; empty on success, else why not.
    QString start();
    // Starts trayer on it (with `env`, DISPLAY set) when installed.
    void startTray(const QProcessEnvironment& env);
    QString name() const { return m_name; } // ":<n>"
    bool hasTray() const { return m_tray.state() == QProcess::Running; }

private:
    QProcess m_x;
    QProcess m_tray;
    QString m_name;
};

} // namespace soak
