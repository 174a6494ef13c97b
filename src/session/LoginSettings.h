#pragma once

#include "session/LoginBoxes.h"

#include <QByteArray>

namespace zarq {

class RegistryStore;

// The sign-in key and the saved login settings. The password is never kept: only the key
// derived from it, `LoginKey` (32 lowercase hexadecimal digits, or empty), which the caller
// holds for the whole run. Every text that is hashed is code page 936, as on Windows.
class LoginSettings {
public:
    // The settings key under the user's registry root.
    static constexpr const char* kRegistryKey = "software\\tervan\\zarq";

    // key(name, zone, password) = MD5 hex of (name + "." + zone + MD5 hex of password); the
    // texts as they stand, not trimmed.
    static QByteArray key(const QString& name, const QString& zone, const QString& password);

    // What the password box shows for a loaded key: its first 8 characters.
    static QString placeholder(const QByteArray& loginKey);

    // The password box is untouched when `loginKey` is 32 characters long and the box holds
    // exactly its first 8 characters (case-sensitive).
    static bool isPasswordUntouched(const LoginBoxes& boxes, const QByteArray& loginKey);

    // The key that a sign-in uses and a save stores: `loginKey` when the password box is
    // untouched, else the key of the boxes' name, zone and password.
    static QByteArray currentKey(const LoginBoxes& boxes, const QByteArray& loginKey);

    // Brings `loginKey` up to date before a sign-in.
    static void updateLoginKey(const LoginBoxes& boxes, QByteArray& loginKey);

    // Fills the boxes and `loginKey` from the saved values that exist. Throws
    // ERegistryException: "Invalid data type for '<value>'" (values after it are not read), or
    // the report of a settings file that could not be parsed.
    static void loadsetting(RegistryStore& registry, LoginBoxes& boxes, QByteArray& loginKey);

    // Writes all five values with one replacement of the settings file. Throws
    // ERegistryException "Failed to set data for 'loginname'" when that write fails (nothing
    // is then changed). `loginKey` itself is not changed.
    static void savesetting(RegistryStore& registry, const LoginBoxes& boxes,
                            const QByteArray& loginKey);
};

} // namespace zarq
