#include "update/UpdateSignature.h"

#include <sodium.h>

#include <array>
#include <cstring>

namespace zarq {

namespace {

constexpr QByteArrayView kUntrusted = "untrusted comment: ";
constexpr QByteArrayView kTrusted = "trusted comment: ";
constexpr std::size_t kSignatureBytes = 2 + 8 + crypto_sign_BYTES;

QList<QByteArray> linesOf(const QByteArray& file) {
    QList<QByteArray> lines = file.split('\n');
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

bool verifyDetached(const unsigned char* signature, const QByteArray& message,
                    const UpdatePublicKey& key) {
    return crypto_sign_verify_detached(signature,
                                       reinterpret_cast<const unsigned char*>(message.constData()),
                                       std::size_t(message.size()), key.key.data()) == 0;
}

} // namespace

std::optional<qint64> UpdateSignature::timestampOf(const QByteArray& trustedComment) {
    for (const QByteArray& field : trustedComment.split('\t')) {
        if (!field.startsWith("timestamp:"))
            continue;
        const QByteArray digits = field.mid(10);
        bool ok = !digits.isEmpty() && digits.size() <= 18;
        for (const char c : digits)
            ok = ok && c >= '0' && c <= '9';
        if (ok)
            return digits.toLongLong();
    }
    return std::nullopt;
}

UpdateSignature::Result UpdateSignature::verify(const QByteArray& content,
                                                const QByteArray& signatureFile,
                                                const QList<UpdatePublicKey>& keys) {
    Result result;
    const auto fail = [&](const QString& why) {
        result.reason = why;
        return result;
    };
    if (!sodiumReady())
        return fail(QStringLiteral("libsodium could not be initialised"));
    if (signatureFile.size() > kFileLimit)
        return fail(QStringLiteral("the signature file is larger than %1 bytes").arg(kFileLimit));
    const QList<QByteArray> lines = linesOf(signatureFile);
    if (lines.size() != 4 || !lines[0].startsWith(kUntrusted) || !lines[2].startsWith(kTrusted))
        return fail(QStringLiteral("the signature file is not in minisign's format"));
    std::array<unsigned char, kSignatureBytes> signature{};
    if (!decodeBase64(lines[1], signature.data(), signature.size()))
        return fail(QStringLiteral("the signature line is not a minisign signature"));
    const unsigned char* sig = signature.data();
    const bool prehashed = std::memcmp(sig, "ED", 2) == 0;
    if (!prehashed && std::memcmp(sig, "Ed", 2) != 0)
        return fail(QStringLiteral("unknown signature algorithm \"%1\"")
                        .arg(QString::fromLatin1(
                            QByteArray(reinterpret_cast<const char*>(sig), 2).toHex())));
    result.keyId = UpdatePublicKey::idText(sig + 2);
    const UpdatePublicKey* key = nullptr;
    QStringList trusted;
    for (const UpdatePublicKey& candidate : keys) {
        trusted << candidate.idText();
        if (std::memcmp(candidate.keyId.data(), sig + 2, candidate.keyId.size()) == 0)
            key = &candidate;
    }
    if (key == nullptr)
        return fail(QStringLiteral("signed with key %1, which is not trusted (trusted: %2)")
                        .arg(result.keyId, trusted.join(QStringLiteral(", "))));
    QByteArray message = content;
    if (prehashed) {
        message = QByteArray(crypto_generichash_BYTES_MAX, Qt::Uninitialized);
        crypto_generichash(reinterpret_cast<unsigned char*>(message.data()),
                           std::size_t(message.size()),
                           reinterpret_cast<const unsigned char*>(content.constData()),
                           std::size_t(content.size()), nullptr, 0);
    }
    if (!verifyDetached(sig + 10, message, *key))
        return fail(
            QStringLiteral("the signature does not match the file (key %1)").arg(result.keyId));
    const QByteArray comment = lines[2].mid(kTrusted.size());
    std::array<unsigned char, crypto_sign_BYTES> global{};
    if (!decodeBase64(lines[3], global.data(), global.size()))
        return fail(QStringLiteral("the trusted comment's signature line is malformed"));
    const QByteArray signedComment =
        QByteArray(reinterpret_cast<const char*>(sig + 10), crypto_sign_BYTES) + comment;
    if (!verifyDetached(global.data(), signedComment, *key))
        return fail(QStringLiteral("the trusted comment does not match its signature"));
    result.trustedComment = comment;
    result.timestamp = timestampOf(comment);
    result.valid = true;
    return result;
}

} // namespace zarq
