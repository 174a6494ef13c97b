#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <stdexcept>

namespace zarq {

// The failure of an HTTP request: the message bytes (what() returns them) and a 16-bit code,
// the reply status or the client's own code.
class EHttpException : public std::runtime_error {
public:
    EHttpException(const QByteArray& message, quint16 errCode);

    quint16 ErrCode() const { return m_errCode; }
    QByteArray message() const { return QByteArray(what()); }

private:
    quint16 m_errCode;
};

} // namespace zarq
