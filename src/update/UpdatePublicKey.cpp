#include "update/UpdatePublicKey.h"

#include <sodium.h>

#include <cstring>

namespace zarq {

namespace {

constexpr char kAlgorithm[] = {'E', 'd'};
constexpr std::size_t kKeyBytes = 2 + 8 + 32;

} // namespace

bool sodiumReady() {
    static const bool ready = sodium_init() >= 0;
    return ready;
}

bool decodeBase64(const QByteArray& text, unsigned char* out, std::size_t size) {
    std::size_t length = 0;
    const char* end = nullptr;
    return sodium_base642bin(out, size, text.constData(), std::size_t(text.size()), nullptr,
                             &length, &end, sodium_base64_VARIANT_ORIGINAL) == 0 &&
           end == text.constData() + text.size() && length == size;
}

std::optional<UpdatePublicKey> UpdatePublicKey::parse(const QByteArray& base64, QString* error) {
    const auto fail = [&](const QString& why) -> std::optional<UpdatePublicKey> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (!sodiumReady())
        return fail(QStringLiteral("libsodium could not be initialised"));
    std::array<unsigned char, kKeyBytes> bytes{};
    if (!decodeBase64(base64.trimmed(), bytes.data(), bytes.size()))
        return fail(QStringLiteral("\"%1\" is not the base64 of a %2-byte minisign public key")
                        .arg(QString::fromLatin1(base64))
                        .arg(kKeyBytes));
    if (std::memcmp(bytes.data(), kAlgorithm, 2) != 0)
        return fail(QStringLiteral("not an Ed25519 minisign public key"));
    UpdatePublicKey key;
    std::memcpy(key.keyId.data(), bytes.data() + 2, key.keyId.size());
    std::memcpy(key.key.data(), bytes.data() + 10, key.key.size());
    return key;
}

QString UpdatePublicKey::idText(const unsigned char* id) {
    quint64 value = 0;
    for (int i = 7; i >= 0; --i)
        value = value << 8 | id[i];
    // As minisign prints it (no leading zeros), so the user can compare the two.
    return QString::number(value, 16).toUpper();
}

} // namespace zarq
