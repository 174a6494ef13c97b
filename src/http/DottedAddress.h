#pragma once

#include <QByteArray>
#include <optional>

namespace zarq {

// True when `host` is a dotted IPv4 address that needs no name lookup: optional leading blanks,
// not starting with ".", exactly three dots each followed by a digit, otherwise digits only,
// every part at most 255, nothing but blanks after the last part.
bool IsDottedAddress(const QByteArray& host);

// The address in network byte order following the classic inet_addr rules (1 to 4 parts,
// decimal, octal or hexadecimal; leading blanks skipped, a blank ends the text), or nothing.
std::optional<quint32> InetAddr(const QByteArray& text);

// Dotted text of an address in network byte order.
QByteArray DottedText(quint32 addressNetworkOrder);

} // namespace zarq
