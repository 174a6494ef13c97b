#pragma once

#include <QByteArray>
#include <array>
#include <cstdint>

namespace zarq {

// MD5 message digest (RFC 1321), the program's own code.
class Md5 {
public:
    Md5();
    void update(const char* data, std::size_t size);
    void update(const QByteArray& bytes) {
        update(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    }
    std::array<std::uint8_t, 16> digest(); // finishes; the object is spent afterwards

    // The digest of `bytes` as 32 lowercase hexadecimal digits, high nibble first.
    static QByteArray hex(const QByteArray& bytes);

private:
    void transform(const std::uint8_t block[64]);

    std::array<std::uint32_t, 4> m_state;
    std::uint64_t m_length = 0; // bytes so far
    std::array<std::uint8_t, 64> m_buffer{};
    std::size_t m_used = 0;
};

} // namespace zarq
