#include "http/DottedAddress.h"

#include <arpa/inet.h>

namespace zarq {

bool IsDottedAddress(const QByteArray& host) {
    qsizetype i = 0;
    const qsizetype n = host.size();
    while (i < n && host[i] == ' ')
        ++i;
    if (i < n && host[i] == '.')
        return false;
    int dots = 0;
    int part = 0;
    bool haveDigit = false;
    for (; i < n; ++i) {
        const char c = host[i];
        if (c >= '0' && c <= '9') {
            part = part * 10 + (c - '0');
            if (part > 255)
                return false;
            haveDigit = true;
        } else if (c == '.') {
            if (!haveDigit || ++dots > 3 || i + 1 >= n || host[i + 1] < '0' || host[i + 1] > '9')
                return false;
            part = 0;
            haveDigit = false;
        } else if (c == ' ') {
            break;
        } else {
            return false;
        }
    }
    for (; i < n; ++i) {
        if (host[i] != ' ')
            return false;
    }
    return dots == 3 && haveDigit;
}

std::optional<quint32> InetAddr(const QByteArray& text) {
    QByteArray t = text;
    qsizetype start = 0;
    while (start < t.size() && t[start] == ' ')
        ++start;
    qsizetype end = start;
    while (end < t.size() && t[end] != ' ')
        ++end;
    const QByteArray core = t.mid(start, end - start);
    if (core.isEmpty())
        return std::nullopt;
    in_addr a{};
    // inet_aton follows the same number rules as inet_addr but does not confuse
    // 255.255.255.255 with failure.
    if (inet_aton(core.constData(), &a) == 0)
        return std::nullopt;
    return quint32(a.s_addr);
}

QByteArray DottedText(quint32 addressNetworkOrder) {
    in_addr a{};
    a.s_addr = addressNetworkOrder;
    char buf[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a, buf, sizeof buf);
    return QByteArray(buf);
}

} // namespace zarq
