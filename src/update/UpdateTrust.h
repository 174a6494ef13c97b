#pragma once

#include "update/UpdatePublicKey.h"

#include <QList>
#include <QString>

namespace zarq {

// Whom an update run trusts. With keys, a control file is acted on only when one of them signed
// it. Without any, runs are refused unless the user opted in to unsigned updates (an in-house
// host); a key that cannot be read refuses every run rather than falling back to "no key".
struct UpdateTrust {
    QList<UpdatePublicKey> keys;
    // Where the keys came from, for messages.
    QString source;
    // Why the configured key text could not be read; runs are then refused.
    QString error;
    // The user's opt-in to unsigned updates, and where it came from; it counts only without keys.
    bool allowUnsigned = false;
    QString allowSource;

    static constexpr const char* kKeyVariable = "ZARQ_UPDATE_PUBLIC_KEY";
    static constexpr const char* kAllowVariable = "ZARQ_UPDATE_ALLOW_UNSIGNED";
    static constexpr const char* kAllowValue = "UpdateAllowUnsigned";

    // The keys of the environment, else the built-in ones; the opt-in from the environment or
    // the settings store `settingsFile` (empty: the user's).
    static UpdateTrust load(const QString& settingsFile = QString());
    // The keys in force (environment, else built in), without the opt-in: what the program's
    // start needs to report a malformed key, with no read of the settings store.
    static UpdateTrust keysInForce();
    // Keys separated by blanks (key rotation); any malformed one makes `error`.
    static UpdateTrust fromKeys(const QByteArray& text, const QString& source);
    // The key text built into the program (empty when none).
    static QByteArray builtInKeys();

    bool checksSignatures() const { return error.isEmpty() && !keys.isEmpty(); }
    // Why no control file may be acted on at all; empty when runs may go on.
    QString refusal() const;
    // One line for --help and --version: which key ids are trusted and from where.
    QString describe() const;
};

} // namespace zarq
