#include "update/AutoUpdateConfiguration.h"

#include "update/TAutoUpdate.h"

namespace zarq {

void AutoUpdateConfiguration::apply(TAutoUpdate& update, const QString& url) {
    update.URL = url;
    update.UpdateType = httpUpdate;
    update.UpdateConnect = aucNoConnect;
    update.UpdateUpdate = auuSilent;
    update.ForceUpdate = true;
    update.VersionCheck = vcUpdateOnly;
    update.UseCRC32 = false;
    update.SignatureCheck = false;
    update.Signature = QStringLiteral("AutoUpdate");
    update.Agent = QString::fromLatin1(kAgent);
    update.Authenticate = waNever;
    update.UseWinTempDir = true;
    update.Logging = false;
    update.SetLogFileName(QString::fromLatin1(kLogFileName));
}

} // namespace zarq
