#pragma once

#include <QString>

namespace zarq {

// A four-part version as two signed 32-bit halves: high = major * 65536 + minor, low = release *
// 65536 + build, each part kept to its low 16 bits. -1 in either half means invalid.
struct VersionValue {
    qint32 High = -1;
    qint32 Low = -1;

    bool isValid() const { return High != -1 && Low != -1; }
    // Four decimal parts joined by "." (an invalid half shows as 65535.65535).
    QString toString() const;
    // Reads a version text: "," separates when present, else "." (see the rules in the source).
    static VersionValue parse(const QString& text);
    static VersionValue fromParts(int major, int minor, int release, int build);
};

} // namespace zarq
