#include "update/HeadlessUpdateUserInterface.h"

#include <cstdio>

namespace zarq {

namespace {

void say(const char* what, const QString& text) {
    std::fprintf(stderr, "zarq: update %s: %s\n", what, qPrintable(text));
}

} // namespace

bool HeadlessUpdateUserInterface::Confirm(const QString& text) {
    say("question answered No", text);
    return false;
}

void HeadlessUpdateUserInterface::ShowError(const QString& text) {
    say("error", text);
}

bool HeadlessUpdateUserInterface::Login(const QString& caption, QString&, QString&) {
    say("login not possible without a display", caption);
    return false;
}

void HeadlessUpdateUserInterface::ShowMessage(const QString& text) {
    say("message", text);
}

bool HeadlessUpdateUserInterface::Query(const QString& text) {
    say("question answered No", text);
    return false;
}

bool HeadlessUpdateUserInterface::ShowWhatsNew(const QString& caption, const QStringList&,
                                               const QString&, const QString&) {
    say("news not accepted without a display", caption);
    return false;
}

bool HeadlessUpdateUserInterface::ShowEULA(const QString& caption, const QStringList&,
                                           const QString&, const QString&, const QString&) {
    say("licence not accepted without a display", caption);
    return false;
}

} // namespace zarq
