#include "http/HttpUrl.h"

namespace zarq {

namespace {

QByteArray baseDirectory(const QByteArray& basePath) {
    const qsizetype slash = basePath.lastIndexOf('/');
    return slash < 0 ? QByteArray("/") : basePath.left(slash + 1);
}

QByteArray parentDirectory(QByteArray dir) {
    if (dir.endsWith('/'))
        dir.chop(1);
    const qsizetype slash = dir.lastIndexOf('/');
    return slash < 0 ? QByteArray("/") : dir.left(slash + 1);
}

bool isSchemeChar(char c) {
    return c == '+' || c == '-' || c == '.' || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z');
}

void splitAuthority(const QByteArray& rest, HttpUrlParts& out) {
    qsizetype cut = rest.size();
    for (qsizetype i = 0; i < rest.size(); ++i) {
        if (rest[i] == '/' || rest[i] == '?') {
            cut = i;
            break;
        }
    }
    out.path = rest.mid(cut);
    const QByteArray authority = rest.left(cut);
    const qsizetype colon = authority.lastIndexOf(':');
    const qsizetype at = authority.lastIndexOf('@');
    if (colon < 0 && at < 0) {
        out.host = authority;
        return;
    }
    if (colon > at) {
        out.port = authority.mid(colon + 1);
        out.host = authority.mid(at + 1, colon - at - 1);
    } else {
        out.host = authority.mid(at + 1);
    }
    if (at >= 0) {
        const QByteArray info = authority.left(at);
        const qsizetype c = info.indexOf(':');
        if (c < 0) {
            out.user = info;
        } else {
            out.user = info.left(c);
            out.password = info.mid(c + 1);
        }
    }
}

} // namespace

HttpUrlParts SplitHttpUrl(const QByteArray& url, const QByteArray& basePath) {
    HttpUrlParts out;
    if (url.isEmpty())
        return out;
    if (url.startsWith("./")) {
        out.path = baseDirectory(basePath) + url.mid(2);
        return out;
    }
    if (url.startsWith("../")) {
        QByteArray dir = parentDirectory(baseDirectory(basePath));
        QByteArray rest = url.mid(3);
        while (rest.startsWith("../")) {
            dir = parentDirectory(dir);
            rest = rest.mid(3);
        }
        out.path = dir + rest;
        return out;
    }

    QByteArray rest = url;
    bool schemeFound = false;
    const qsizetype sep = url.indexOf("://");
    if (sep >= 0) {
        const QByteArray scheme = url.left(sep).toLower();
        bool usable = true;
        for (char c : scheme)
            usable = usable && isSchemeChar(c);
        if (usable) {
            out.scheme = scheme;
            rest = url.mid(sep + 3);
            schemeFound = true;
        } else {
            out.scheme = "http";
        }
    }
    if (!schemeFound) {
        if (url.startsWith('/')) {
            out.scheme = "http";
            if (url.size() > 1 && url[1] != '/') {
                out.path = url;
                return out;
            }
            rest = url.mid(url.size() > 1 ? 2 : 1);
        } else if (url.left(5).toLower() == "http:") {
            out.scheme = "http";
            if (url.size() > 6 && url[6] != '/') {
                out.path = url.mid(5);
                return out;
            }
            rest = url.mid(std::min<qsizetype>(7, url.size()));
        } else if (url.left(7).toLower() == "mailto:") {
            out.scheme = "mailto";
            rest = url.mid(url.indexOf(':') + 1);
        }
    }
    splitAuthority(rest, out);
    return out;
}

} // namespace zarq
