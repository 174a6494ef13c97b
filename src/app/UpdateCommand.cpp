#include "app/UpdateCommand.h"

#include "app/LogLine.h"
#include "update/AutoUpdateConfiguration.h"
#include "update/RestartMessage.h"
#include "update/TAutoUpdate.h"
#include "update/UpdateTrust.h"

#include <algorithm>
#include <iterator>

namespace zarq {

namespace {

constexpr int kFailures[] = {912, 913, 914, 916, 917, 922, 925, 927, 946, 947,
                             950, 951, 952, 953, 956, 964, 972, 973, 975, 976};

// OnStatus gets the text and the codes; the number of the message being logged is noted here
// so the line can show it.
class CommandLineAutoUpdate : public TAutoUpdate {
public:
    int number = 0;

protected:
    void LogStatus(int Number, const QString& Text, int StatusCode, int ErrCode) override {
        number = Number;
        TAutoUpdate::LogStatus(Number, Text, StatusCode, ErrCode);
    }
};

} // namespace

bool UpdateCommand::isFailure(int number) {
    return std::find(std::begin(kFailures), std::end(kFailures), number) != std::end(kFailures);
}

int UpdateCommand::run(FILE* err) {
    CommandLineAutoUpdate update;
    AutoUpdateConfiguration::apply(update, url);
    const UpdateTrust trust = UpdateTrust::load();
    update.SetTrust(trust);
    if (trust.refusal().isEmpty() && !trust.checksSignatures())
        writeLogLine(err, QStringLiteral("warning: this update is not authenticated (unsigned "
                                         "updates allowed by %1)")
                              .arg(trust.allowSource));
    bool failed = false;
    update.OnStatus = [&](TAutoUpdate*, const QString& text, int status, int error) {
        failed = failed || isFailure(update.number);
        writeLogLine(err, QStringLiteral("update [%1] %2 (Status:%3) (Error:%4)")
                              .arg(update.number)
                              .arg(text)
                              .arg(status)
                              .arg(error));
    };
    // The program's restart notice, allowed as the desktop program allows it; the run then
    // returns and the program ends, which the updater waits for.
    update.OnAppRestart = [err](TAutoUpdate* sender, bool& allow) {
        writeLogLine(err, QStringLiteral("update restart: ") +
                              RestartMessage::text(sender->NewVersion()));
        allow = true;
    };
    update.OnAppDoClose = [](TAutoUpdate*) {};
    HeadlessUpdateUserInterface answers(yes);
    update.SetUserInterface(&answers);
    update.RunUpdate(false);
    return failed ? 1 : 0;
}

} // namespace zarq
