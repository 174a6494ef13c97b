#pragma once

namespace zarq {

// Whether this process shows its tray icon as a StatusNotifierItem, the D-Bus tray of current
// panels (KDE Plasma, GNOME with the AppIndicator extension, most others), rather than as an
// XEmbed icon docked into a classic tray.
//
// Qt picks the kind once per process, when the first tray icon is made: a StatusNotifierItem
// when a StatusNotifierWatcher with a registered host is on the session bus, the XEmbed tray
// otherwise. Such an item is an object at "/StatusNotifierItem" on one of the process's
// session bus connections; that object, not the environment, says which kind Qt really chose. A
// host only calls an item after it has been registered, so asking once the first activation arrives
// gives the final answer.
bool dockedAsStatusNotifierItem();

} // namespace zarq
