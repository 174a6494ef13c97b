#include "app/SetLoginCommand.h"

#include "app/LogLine.h"
#include "platform/RegistryStore.h"
#include "session/LoginBoxes.h"
#include "session/LoginName.h"
#include "session/LoginSettings.h"

#include <termios.h>
#include <unistd.h>

namespace zarq {

namespace {

// The password box holds at most 32 characters.
constexpr qsizetype kMaxPassword = 32;

} // namespace

std::optional<QString> SetLoginCommand::readPassword(FILE* in, FILE* log) {
    const int fd = ::fileno(in);
    termios saved{};
    const bool terminal = ::isatty(fd) && ::tcgetattr(fd, &saved) == 0;
    if (terminal) {
        std::fputs("Password: ", log);
        std::fflush(log);
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(fd, TCSAFLUSH, &quiet);
    }
    QByteArray line;
    int c;
    bool any = false;
    while ((c = std::fgetc(in)) != EOF) {
        any = true;
        if (c == '\n')
            break;
        line.append(static_cast<char>(c));
    }
    if (terminal) {
        ::tcsetattr(fd, TCSAFLUSH, &saved);
        std::fputc('\n', log);
    }
    if (!any)
        return std::nullopt;
    if (line.endsWith('\r'))
        line.chop(1);
    return QString::fromLocal8Bit(line);
}

int SetLoginCommand::run(const ZarqConfig& config, const QString& settingsPath, FILE* in,
                         FILE* log) const {
    // Checked before anything is read or written: a refused name leaves no trace.
    const QString newName = name.toLower(); // the name box turns letters into lower case
    if (const QString why = LoginName::problem(newName); !why.isEmpty()) {
        writeLogLine(log, QStringLiteral("the name \"%1\" cannot be used: %2, which would break "
                                         "the sign-in request (a name holds no blanks, control "
                                         "characters, \"&\", \"?\", \"#\" or \"/\"); nothing "
                                         "was saved")
                              .arg(LoginName::shown(newName), why));
        return 2;
    }
    LoginBoxes boxes = LoginBoxes::designState(config.parentZone);
    QByteArray loginKey;
    RegistryStore registry(settingsPath);
    try {
        LoginSettings::loadsetting(registry, boxes, loginKey);
    } catch (const ERegistryException& e) {
        // What was saved could not be read in full; the new settings are written all the same.
        writeLogLine(log, e.message());
    }
    const QString oldName = boxes.Edit1;
    const QString oldZone = boxes.ComboBox1;

    boxes.Edit1 = newName;
    if (zone && !boxes.selectZone(*zone)) {
        writeLogLine(log, QStringLiteral("the parent zone \"%1\" is not offered (offered: %2); set "
                                         "ZARQ_ZONE to offer another")
                              .arg(*zone, boxes.ComboBox1Items.join(QStringLiteral(", "))));
        return 2;
    }
    if (lan)
        boxes.Checkbox3 = *lan;
    if (autologin)
        boxes.CheckBox2 = *autologin;
    if (passwordFromStdin) {
        const std::optional<QString> password = readPassword(in, log);
        if (!password) {
            writeLogLine(log, QStringLiteral("no password on standard input"));
            return 2;
        }
        if (password->size() > kMaxPassword) {
            writeLogLine(
                log, QStringLiteral("the password is longer than %1 characters").arg(kMaxPassword));
            return 2;
        }
        boxes.PasswordEdit1 = *password;
        boxes.CheckBox1 = true;
    } else if (!boxes.PasswordEdit1.isEmpty() &&
               (boxes.Edit1 != oldName || boxes.ComboBox1 != oldZone)) {
        writeLogLine(log,
                     QStringLiteral("note: the saved key was made for %1.%2; give --password-stdin "
                                    "to make one for %3.%4")
                         .arg(oldName, oldZone, boxes.Edit1, boxes.ComboBox1));
    }
    try {
        LoginSettings::savesetting(registry, boxes, loginKey);
    } catch (const ERegistryException& e) {
        writeLogLine(log, e.messageWithDetail());
        return 1;
    }
    const bool keySaved = boxes.CheckBox1 && !boxes.PasswordEdit1.isEmpty();
    writeLogLine(
        log, QStringLiteral("saved to %1: name %2, zone %3, LAN %4, auto-login %5, %6")
                 .arg(registry.filePath(), boxes.Edit1, boxes.ComboBox1,
                      boxes.Checkbox3 ? QStringLiteral("on") : QStringLiteral("off"),
                      boxes.CheckBox2 ? QStringLiteral("on") : QStringLiteral("off"),
                      keySaved ? QStringLiteral("key saved")
                               : QStringLiteral("no password saved (auto-login cannot sign in)")));
    return 0;
}

} // namespace zarq
