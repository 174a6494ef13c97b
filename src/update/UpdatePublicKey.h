#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstddef>
#include <optional>

namespace zarq {

// A public key that update control files may be signed with: the base64 line of a minisign
// public key ("Ed", an 8-byte key id, a 32-byte Ed25519 key).
struct UpdatePublicKey {
    std::array<unsigned char, 8> keyId{};
    std::array<unsigned char, 32> key{};

    // The key of one base64 line; none with the reason in `error` when it is not one.
    static std::optional<UpdatePublicKey> parse(const QByteArray& base64, QString* error);
    // The key id as minisign prints it: the 8 bytes as one little-endian number, in upper-case
    // hexadecimal without leading zeros.
    static QString idText(const unsigned char* id);
    QString idText() const { return idText(keyId.data()); }
};

// Makes libsodium ready; false when it cannot be (then nothing can be verified).
bool sodiumReady();

// Decodes a base64 text (standard alphabet, padding required) into exactly `size` bytes at
// `out`; false when it is no base64 or decodes to another length.
bool decodeBase64(const QByteArray& text, unsigned char* out, std::size_t size);

} // namespace zarq
