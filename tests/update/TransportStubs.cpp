// Stand-ins for the transport members until their real definitions exist. Every one fails, so
// a test that reaches the network without them shows it.
#include "update/TAutoUpdate.h"

namespace zarq {

int TAutoUpdate::Connect() {
    return 2;
}
void TAutoUpdate::Disconnect() {}
int TAutoUpdate::ConnectFTP() {
    return -1;
}
int TAutoUpdate::DownloadFiles() {
    return -1;
}
bool TAutoUpdate::TransferFile(const QString&, const QString&) {
    return false;
}
bool TAutoUpdate::CopyLocalFile(const QString&, const QString&) {
    return false;
}
std::optional<QStringList> TAutoUpdate::DownloadText(const QString&) {
    return std::nullopt;
}
void TAutoUpdate::LogSystemError() {}
bool TAutoUpdate::LoginPrompt(const QString&, QString&, QString&) {
    return false;
}
QString TAutoUpdate::FileNameFromURL(const QString&) {
    return QString();
}
QString TAutoUpdate::HostFromURL(const QString&) const {
    return QString();
}
QString TAutoUpdate::TemporaryDirectory() {
    return QString();
}

} // namespace zarq
