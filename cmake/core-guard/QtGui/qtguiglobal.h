// Placed ahead of Qt's own headers on the include path of the core libraries only.
// Every QtGui header pulls this file in first, so any use of QtGui from core code stops
// the build here instead of quietly dragging a display dependency into the headless program.
#error "core code must not use Qt QtGui: keep it in src/shell, src/app or a widgets/ folder"
