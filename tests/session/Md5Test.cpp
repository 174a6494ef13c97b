#include "session/Md5.h"

#include <gtest/gtest.h>

using zarq::Md5;

namespace {

struct DigestCase {
    QByteArray input;
    const char* hex;
};

// The test suite of RFC 1321, appendix A.5.
const DigestCase kRfc1321Suite[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

} // namespace

TEST(Md5, Rfc1321TestSuite) {
    for (const DigestCase& c : kRfc1321Suite)
        EXPECT_EQ(Md5::hex(c.input), QByteArray(c.hex)) << c.input.constData();
}

TEST(Md5, BlockBoundariesAndBinaryBytes) {
    // Lengths around the 56- and 64-byte padding boundaries, fed whole and in odd pieces,
    // must agree; bytes above 0x7f and NUL are hashed like any other.
    for (int length : {55, 56, 57, 63, 64, 65, 119, 120, 128, 1000}) {
        QByteArray data(length, '\0');
        for (int i = 0; i < length; ++i)
            data[i] = static_cast<char>((i * 37 + 200) & 0xff);
        Md5 pieces;
        for (int i = 0; i < length; i += 7)
            pieces.update(data.mid(i, 7));
        const auto d = pieces.digest();
        QByteArray hex;
        for (auto b : d)
            hex += QByteArray::number(b, 16).rightJustified(2, '0');
        EXPECT_EQ(hex, Md5::hex(data)) << length;
    }
    EXPECT_EQ(Md5::hex(QByteArray(1000000, 'a')), QByteArray("7707d6ae4e027c70eea2a935c2296f21"));
}
