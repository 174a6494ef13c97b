#pragma once

#include <QString>

namespace zarq {

// Transport of the update run.
enum TAutoUpdateType { ftpUpdate, httpUpdate, fileUpdate };

// Dial-up policy of the connection step. Linux has no dial-up: every dial counts as done.
enum TAutoUpdateConnect {
    aucNoConnect,
    aucConnectPrompt,
    aucConnectSilent,
    aucConnectPromptHangup,
    aucConnectSilentHangup,
    aucNone
};

// Asking before downloads, and whether error boxes may appear.
enum TAutoUpdateUpdate { auuPromptOnce, auuPromptAll, auuSilent };

// Treatment of local files that are missing or carry no version.
enum TAutoUpdateVersionCheck { vcUpdateOnly, vcAlways };

// When to ask for server credentials.
enum TAutoUpdateAuthentication { waAlways, waAuto, waNever };

enum TLastURLRoot { lurLOCALUSER, lurLOCALMACHINE };

// Registry place of the remembered control-file URL and release date.
struct TLastURLEntry {
    bool Save = false;
    QString Key;
    QString Section;
    TLastURLRoot RegRoot = lurLOCALUSER;
};

// Report posted to a server after an update.
struct TPostUpdateInfo {
    QString Server;
    QString Action;
    QString Data;
    bool Enabled = false;
    QString PostResult;
};

// Window options of the patcher run.
struct TAutoUpdateUtility {
    bool ShowWindow = false;
    bool ShowAnimation = false;
    QString StatusMessage;
    QString StatusCaption;
};

} // namespace zarq
