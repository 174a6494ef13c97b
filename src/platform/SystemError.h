#pragma once

#include <QString>
#include <stdexcept>
#include <string>

namespace zarq {

// An operating-system failure raised by the program. Its text has the fixed form
// "System Error.  Code: <n>.\r\n<system text>" that users and logs have always seen.
class SystemError : public std::runtime_error {
public:
    SystemError(int code, const QString& systemText);

    // The error for errno value `err`, with the C library's description of it.
    static SystemError fromErrno(int err);

    static QString format(int code, const QString& systemText);

    int code() const { return m_code; }

private:
    int m_code;
};

} // namespace zarq
