#pragma once

class QWidget;

namespace zarq {

// Brings a top-level window on screen for the user: shows it when hidden (in the tray),
// restores it when minimised, raises it above the other windows and gives it the focus.
// The main window uses it for the tray's double click and "显示主界面(&S)", and for a second
// start of the program (TSingleInstance::showRequested).
void showAndRaise(QWidget* window);

} // namespace zarq
