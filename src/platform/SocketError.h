#pragma once

#include <QByteArray>

namespace zarq {

// The socket layer speaks in the Winsock error numbers its users have always seen
// ("Connection refused (Error #10061)"); Linux errno values are translated at the boundary.

// The description of a socket error number; "Not a WinSock error" for unknown numbers.
QByteArray SocketErrorDesc(int code);

// The Winsock number for a Linux errno value (0 stays 0; EAGAIN is "would block", 10035). A value
// without a socket counterpart maps to 10022, "Invalid argument".
int WinsockErrorFromErrno(int err);

} // namespace zarq
