#pragma once

#include "platform/ZarqConfig.h"

#include <QString>
#include <cstdio>
#include <optional>

namespace zarq {

// `zarq --set-login NAME [--zone ZONE] [--lan|--no-lan] [--autologin|--no-autologin]
// [--password-stdin]`: fills the login boxes as a user would in the dialog and saves them by
// the dialog's rule. The password is read from `in` (never from the command line) and never
// stored: only the key derived from it. Without --password-stdin the saved key is kept, as
// when the dialog is submitted without touching the password box.
struct SetLoginCommand {
    QString name;
    std::optional<QString> zone;
    std::optional<bool> lan;
    std::optional<bool> autologin;
    bool passwordFromStdin = false;

    // Returns the exit status (0, 1 for a settings failure, 2 for bad input).
    int run(const ZarqConfig& config, const QString& settingsPath, FILE* in, FILE* log) const;

    // The first line of `in` without its line end; nullopt when nothing could be read. When
    // `in` is a terminal it asks for the password without echoing it.
    static std::optional<QString> readPassword(FILE* in, FILE* log);
};

} // namespace zarq
