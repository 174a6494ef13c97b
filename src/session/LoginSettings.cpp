#include "session/LoginSettings.h"

#include "platform/RegistryStore.h"
#include "platform/TextCodec.h"
#include "session/Md5.h"

namespace zarq {

namespace {

const QString kLoginName = QStringLiteral("loginname");
const QString kLoginDomain = QStringLiteral("logindomain");
const QString kPassword = QStringLiteral("password");
const QString kAutoLogin = QStringLiteral("autologin");
const QString kLanZarq = QStringLiteral("lanzarq");

} // namespace

QByteArray LoginSettings::key(const QString& name, const QString& zone, const QString& password) {
    return Md5::hex(TextCodec::toCp936(name) + '.' + TextCodec::toCp936(zone) +
                    Md5::hex(TextCodec::toCp936(password)));
}

QString LoginSettings::placeholder(const QByteArray& loginKey) {
    return TextCodec::fromCp936(loginKey.left(8));
}

bool LoginSettings::isPasswordUntouched(const LoginBoxes& boxes, const QByteArray& loginKey) {
    return loginKey.size() == 32 && TextCodec::toCp936(boxes.PasswordEdit1) == loginKey.left(8);
}

QByteArray LoginSettings::currentKey(const LoginBoxes& boxes, const QByteArray& loginKey) {
    if (isPasswordUntouched(boxes, loginKey))
        return loginKey;
    return key(boxes.Edit1, boxes.ComboBox1, boxes.PasswordEdit1);
}

void LoginSettings::updateLoginKey(const LoginBoxes& boxes, QByteArray& loginKey) {
    loginKey = currentKey(boxes, loginKey);
}

void LoginSettings::loadsetting(RegistryStore& registry, LoginBoxes& boxes, QByteArray& loginKey) {
    // A key that cannot be opened or created reads as no values: the boxes keep their design
    // state, and the next save reports the failure.
    if (!registry.OpenKey(QString::fromLatin1(kRegistryKey), true))
        return;
    if (registry.ValueExists(kLoginName))
        boxes.Edit1 = registry.ReadString(kLoginName);
    if (registry.ValueExists(kLoginDomain))
        boxes.selectZone(registry.ReadString(kLoginDomain));
    if (registry.ValueExists(kPassword)) {
        loginKey = TextCodec::toCp936(registry.ReadString(kPassword));
        if (!loginKey.isEmpty()) {
            boxes.PasswordEdit1 = placeholder(loginKey);
            boxes.CheckBox1 = true;
        } else {
            boxes.CheckBox1 = false;
        }
    }
    if (registry.ValueExists(kAutoLogin))
        boxes.CheckBox2 = registry.ReadInteger(kAutoLogin) != 0;
    if (registry.ValueExists(kLanZarq))
        boxes.Checkbox3 = registry.ReadInteger(kLanZarq) != 0;
    registry.CloseKey();
}

void LoginSettings::savesetting(RegistryStore& registry, const LoginBoxes& boxes,
                                const QByteArray& loginKey) {
    // When the key cannot be opened the write below reports it ("Failed to set data").
    registry.OpenKeyForWrite(QString::fromLatin1(kRegistryKey));
    const QByteArray keyToSave = currentKey(boxes, loginKey);
    const bool remember = boxes.CheckBox1 && !boxes.PasswordEdit1.isEmpty();
    // One replacement of the file for all five values: a crash or a full disk leaves the old
    // login or the new one, never a name from one with the key of the other.
    registry.WriteValues({
        {kLoginName, RegSz, TextCodec::trimmed(boxes.Edit1), 0, {}},
        {kLoginDomain, RegSz, TextCodec::trimmed(boxes.ComboBox1), 0, {}},
        {kPassword, RegSz, remember ? TextCodec::fromCp936(keyToSave) : QString(), 0, {}},
        {kAutoLogin, RegDword, {}, boxes.CheckBox2 ? 1u : 0u, {}},
        {kLanZarq, RegDword, {}, boxes.Checkbox3 ? 1u : 0u, {}},
    });
    registry.CloseKey();
}

} // namespace zarq
