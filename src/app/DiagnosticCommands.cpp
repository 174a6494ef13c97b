#include "app/DiagnosticCommands.h"

#include "netinfo/LanAddress.h"
#include "netinfo/NetworkReport.h"
#include "platform/SystemError.h"

#include <cstdio>

namespace zarq {

namespace {

// The report's lines end with CR LF as on the network page; a terminal and the tools a
// user pipes it into expect LF.
QByteArray terminalText(const QString& text) {
    QString lines = text;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return lines.toLocal8Bit();
}

} // namespace

int runLanAddressCommand() {
    const QByteArray address = GetLanAddress();
    std::fwrite(address.constData(), 1, size_t(address.size()), stdout);
    std::fputc('\n', stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

int runNetworkReportCommand() {
    try {
        const QByteArray report = terminalText(NetworkReport::getipinfo());
        std::fwrite(report.constData(), 1, size_t(report.size()), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    } catch (const SystemError& e) {
        const QByteArray message = terminalText(QString::fromUtf8(e.what()));
        std::fprintf(stderr, "%s\n", message.constData());
        return 1;
    }
}

} // namespace zarq
