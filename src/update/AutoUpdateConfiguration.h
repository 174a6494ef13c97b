#pragma once

#include <QString>

namespace zarq {

class TAutoUpdate;

// The program's one configuration of the update component (the settings dialog's
// `AutoUpdate1`, and `zarq --update`): forced, silent, over HTTP, replacing only what is older,
// with the program's agent, its log file name and logging off.
class AutoUpdateConfiguration {
public:
    static constexpr const char* kAgent = "TErvan ZArq Client 1.0";
    static constexpr const char* kLogFileName = "UPDATE.LOG";
    static void apply(TAutoUpdate& update, const QString& url);
};

} // namespace zarq
