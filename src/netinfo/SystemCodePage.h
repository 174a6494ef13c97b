#pragma once

#include <QByteArray>
#include <QString>

namespace zarq {

// The program's texts travel as code page 936 bytes (the client's system code page).
// Characters the code page lacks become '?', as the Windows conversion does by default.
QByteArray toSystemCodePage(const QString& text);

} // namespace zarq
