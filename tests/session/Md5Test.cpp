#include "session/Md5.h"

#include <gtest/gtest.h>
#include <utility>

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
    // Lengths around the 56- and 64-byte padding boundaries, fed whole and in odd pieces; bytes
    // above 0x7f and NUL are hashed like any other. Byte i is (i * 37 + 200) mod 256; the
    // digests were computed independently with Python's hashlib.
    const std::pair<int, const char*> cases[] = {
        {55, "1d1362818c09f4c25a41182caf0c95dd"},  {56, "305bc9622190b9acd78f4ee45233c95b"},
        {57, "c9346a28ddf16ed78f82e65870526af1"},  {63, "98cae7cc53cfb41a0569e45a9ccdd40a"},
        {64, "32292acc90ca352c0e71b648f4033483"},  {65, "df9ac84ba1bf31fc5acb98c02a2bc2dd"},
        {119, "5f21bb458c920950ac9cdbb51a945513"}, {120, "26d1667ba622d9f05f2137a9ed9081a6"},
        {128, "4f4e3af6e16b5f8c900d72f6a56b4246"}, {1000, "68b79dc95ccbdf03e84f26c84f74c9c9"},
    };
    for (const auto& [length, expected] : cases) {
        QByteArray data(length, '\0');
        for (int i = 0; i < length; ++i)
            data[i] = static_cast<char>((i * 37 + 200) & 0xff);
        EXPECT_EQ(Md5::hex(data), QByteArray(expected)) << length;
        for (const int piece : {1, 7, 63}) {
            Md5 pieces;
            for (int i = 0; i < length; i += piece)
                pieces.update(data.mid(i, piece));
            const auto d = pieces.digest();
            QByteArray hex;
            for (auto b : d)
                hex += QByteArray::number(b, 16).rightJustified(2, '0');
            EXPECT_EQ(hex, QByteArray(expected)) << length << " in pieces of " << piece;
        }
    }
    EXPECT_EQ(Md5::hex(QByteArray(1000000, 'a')), QByteArray("7707d6ae4e027c70eea2a935c2296f21"));
}
