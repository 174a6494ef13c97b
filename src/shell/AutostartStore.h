#pragma once

#include "shell/AutoRunTypes.h"

#include <QString>

namespace zarq {

// The folders that stand in for the start-up keys: a value named N under the Run key is the
// XDG autostart desktop entry "N.desktop" in one of them.
struct AutostartDirs {
    QString currentUser;  // $XDG_CONFIG_HOME/autostart (default ~/.config/autostart)
    QString localMachine; // /etc/xdg/autostart

    static AutostartDirs standard();
};

// The start-up keys on Linux. Reads, deletes and writes one start-up value as a desktop entry;
// the value's data is the program path in the entry's Exec line.
//
// - Only the key "\Software\Microsoft\Windows\CurrentVersion\Run" (any letter case) has
//   folders; every other key cannot be opened: reads give empty text, deletes and writes fail.
// - An entry disabled by the user (Hidden=true, or X-GNOME-Autostart-enabled=false) reads as
//   no value. A current-user entry of the same name masks the machine-wide one for this user
//   (the desktop's own rule), so a disabled user entry also hides the machine entry.
// - A name that is not a plain file name (empty, "." or "..", or holding '/') opens nothing.
// - Writes are atomic; the current user's entry is private (0600), the machine-wide one
//   readable by all (0644). The folder is created when missing.
class AutostartStore {
public:
    explicit AutostartStore(AutostartDirs dirs = AutostartDirs::standard());

    const AutostartDirs& dirs() const { return m_dirs; }

    static QString runKeyPath();

    // The entry's file for `name` under `root`, or empty when that key has no folder.
    QString entryPath(TRegLocation root, const QString& keyPath, const QString& name) const;

    // The program path of the entry, or empty text when there is no (enabled) entry.
    QString readValue(TRegLocation root, const QString& keyPath, const QString& name) const;
    // Whether the entry that counts for this user exists but is switched off (Hidden=true or
    // X-GNOME-Autostart-enabled=false): the current user's entry when there is one, else the
    // machine-wide one. That is the user's own "off", as the desktop's settings write it.
    bool isSwitchedOff(const QString& keyPath, const QString& name) const;
    // True when no entry is left (removed, or there was none).
    bool deleteValue(TRegLocation root, const QString& keyPath, const QString& name) const;
    // Writes the entry that starts `programPath`; false when refused.
    bool writeValue(TRegLocation root, const QString& keyPath, const QString& name,
                    const QString& programPath) const;
    // Writes a disabled (Hidden=true) current-user entry, which turns the machine-wide entry
    // of the same name off for this user; false when refused.
    bool writeMask(const QString& keyPath, const QString& name) const;

    // Desktop-entry text for an autostart entry that starts `programPath`; `hidden` writes it
    // disabled.
    static QByteArray entryText(const QString& programPath, bool hidden = false);
    // The program path of an entry's text; empty when the entry is disabled or has no Exec.
    static QString programOf(const QByteArray& entryText);
    // Whether an entry's text is switched off (Hidden=true or X-GNOME-Autostart-enabled=false).
    static bool isDisabled(const QByteArray& entryText);

    // Exec-line quoting and its inverse (the first argument of the line).
    static QString quoteExec(const QString& programPath);
    static QString unquoteExec(const QString& execValue);

    // Seconds the desktop waits after log-in before starting the program: the network is
    // often still coming up at that moment.
    static constexpr int kStartDelaySeconds = 10;

private:
    bool writeEntry(TRegLocation root, const QString& keyPath, const QString& name,
                    const QByteArray& text) const;

    AutostartDirs m_dirs;
};

} // namespace zarq
