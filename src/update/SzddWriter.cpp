#include "update/SzddWriter.h"

#include <algorithm>
#include <vector>

namespace zarq {

namespace {

constexpr int kWindow = 4096;
constexpr int kMask = kWindow - 1;
// The reader starts writing at this window position (the window is pre-filled with blanks).
constexpr int kStart = kWindow - 16;
constexpr int kMinMatch = 3;
constexpr int kMaxMatch = 18;
constexpr int kHashSize = 1 << 14;
constexpr int kMaxChain = 256;

int hashAt(const unsigned char* p) {
    return ((p[0] << 6) ^ (p[1] << 3) ^ p[2]) & (kHashSize - 1);
}

// Collects one flag byte and up to eight items (literal bytes or two-byte matches).
class Groups {
public:
    explicit Groups(QByteArray& out) : m_out(out) {}
    void literal(unsigned char c) {
        begin();
        m_out[m_flagAt] =
            static_cast<char>(static_cast<unsigned char>(m_out[m_flagAt]) | (1u << m_items));
        m_out.append(static_cast<char>(c));
        ++m_items;
    }
    void match(int windowPos, int length) {
        begin();
        m_out.append(static_cast<char>(windowPos & 0xFF));
        m_out.append(static_cast<char>(((windowPos >> 4) & 0xF0) | (length - kMinMatch)));
        ++m_items;
    }

private:
    void begin() {
        if (m_items == 8 || m_flagAt < 0) {
            m_flagAt = m_out.size();
            m_out.append('\0');
            m_items = 0;
        }
    }
    QByteArray& m_out;
    qsizetype m_flagAt = -1;
    int m_items = 0;
};

} // namespace

QByteArray SzddWriter::compress(const QByteArray& data, char missingChar) {
    QByteArray out("SZDD\x88\xF0\x27\x33", 8);
    out.append('A');
    out.append(missingChar);
    const quint32 length = static_cast<quint32>(data.size());
    for (int i = 0; i < 4; ++i)
        out.append(static_cast<char>((length >> (8 * i)) & 0xFF));

    const auto* in = reinterpret_cast<const unsigned char*>(data.constData());
    const int n = static_cast<int>(data.size());
    std::vector<int> head(kHashSize, -1);
    std::vector<int> prev(static_cast<size_t>(n), -1);
    auto insert = [&](int i) {
        if (i + kMinMatch <= n) {
            const int h = hashAt(in + i);
            prev[static_cast<size_t>(i)] = head[static_cast<size_t>(h)];
            head[static_cast<size_t>(h)] = i;
        }
    };

    Groups groups(out);
    int i = 0;
    while (i < n) {
        int bestLength = 0;
        int bestFrom = 0;
        if (i + kMinMatch <= n) {
            const int limit = std::min(kMaxMatch, n - i);
            int candidate = head[static_cast<size_t>(hashAt(in + i))];
            // Matches reach back less than a window; overlapping ones (a run) are fine because
            // the reader copies byte by byte.
            for (int chain = 0; candidate >= 0 && i - candidate < kWindow && chain < kMaxChain;
                 ++chain) {
                int len = 0;
                while (len < limit && in[candidate + len] == in[i + len])
                    ++len;
                if (len > bestLength) {
                    bestLength = len;
                    bestFrom = candidate;
                    if (len == limit)
                        break;
                }
                candidate = prev[static_cast<size_t>(candidate)];
            }
        }
        if (bestLength >= kMinMatch) {
            groups.match((kStart + bestFrom) & kMask, bestLength);
            for (int k = 0; k < bestLength; ++k)
                insert(i + k);
            i += bestLength;
        } else {
            groups.literal(in[i]);
            insert(i);
            ++i;
        }
    }
    return out;
}

} // namespace zarq
