#include "app/LogLine.h"

namespace zarq {

void writeLogLine(FILE* out, const QString& line) {
    const QByteArray bytes = (QStringLiteral("zarq: ") + line + u'\n').toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), out);
    std::fflush(out);
}

} // namespace zarq
