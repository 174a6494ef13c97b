#pragma once

#include <QString>
#include <QStringList>

namespace zarq {

// What the login dialog's boxes hold. The login dialog fills it from its widgets and the
// headless program from its command line; the saved-settings rules and the session protocol
// read and write only this. Member names are those of the dialog's controls.
struct LoginBoxes {
    QString Edit1;              // the name box (letters typed into it become lower case)
    QString ComboBox1;          // the parent-zone box's text
    QStringList ComboBox1Items; // its drop-down list (not editable)
    QString PasswordEdit1;      // the password box: a typed password or the key's placeholder
    bool CheckBox1 = true;      // "记住密码": remember the password
    bool CheckBox2 = true;      // "自动登录": sign in by itself at start
    bool Checkbox3 = false;     // "同时获取内网动态域名": the LAN option

    // Selects the zone list's entry equal to `zone` without regard to letter case. False when
    // no entry matches; the box then keeps the text it had.
    bool selectZone(const QString& zone) {
        for (const QString& entry : ComboBox1Items) {
            if (entry.compare(zone, Qt::CaseInsensitive) == 0) {
                ComboBox1 = entry;
                return true;
            }
        }
        return false;
    }

    // The boxes as the dialog is designed: empty name and password, the zone list holding
    // `parentZone` alone, which is also the box's text.
    static LoginBoxes designState(const QString& parentZone) {
        LoginBoxes boxes;
        boxes.ComboBox1 = parentZone;
        boxes.ComboBox1Items = QStringList{parentZone};
        return boxes;
    }
};

} // namespace zarq
