#pragma once

#include <QByteArray>
#include <stdexcept>

namespace zarq {

// A socket failure raised when the socket's owner has not asked to hear about errors itself.
class ESocketException : public std::runtime_error {
public:
    explicit ESocketException(const QByteArray& message)
        : std::runtime_error(message.toStdString()) {}
};

} // namespace zarq
