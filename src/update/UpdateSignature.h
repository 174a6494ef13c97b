#pragma once

#include "update/UpdatePublicKey.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace zarq {

// Verification of a minisign signature file (".minisig") over a file's bytes: the signature line
// ("ED": Ed25519 over the BLAKE2b-512 of the file, minisign's default; "Ed": over the file
// itself), its key id against the trusted keys, and the global signature over the signature and
// the trusted comment, so the comment (and the timestamp in it) cannot be edited either.
class UpdateSignature {
public:
    struct Result {
        bool valid = false;
        // Why it is not valid, in words for the log; empty when valid.
        QString reason;
        QByteArray trustedComment;
        // The "timestamp:" field of the trusted comment, when it has one.
        std::optional<qint64> timestamp;
        // The key id the signature names (hexadecimal, as minisign prints it), once it was read.
        QString keyId;
    };

    // The largest signature file taken: minisign writes a few hundred bytes.
    static constexpr qint64 kFileLimit = 8 * 1024;

    static Result verify(const QByteArray& content, const QByteArray& signatureFile,
                         const QList<UpdatePublicKey>& keys);
    // The seconds of the "timestamp:" field of a trusted comment (fields are separated by tabs).
    static std::optional<qint64> timestampOf(const QByteArray& trustedComment);
};

} // namespace zarq
