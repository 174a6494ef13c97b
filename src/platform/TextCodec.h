#pragma once

#include <QByteArray>
#include <QString>

namespace zarq {

// Every byte the program hashes or sends is code page 936 (GBK), as on the Windows client, so a
// name or password with Chinese characters yields the same key. Widgets and the settings file hold
// Unicode; they convert here, at the boundary.
class TextCodec {
public:
    // Unicode -> code page 936. A character the code page cannot hold becomes '?', as the
    // Windows conversion does with its default character.
    static QByteArray toCp936(const QString& text);

    // Code page 936 -> Unicode. A byte sequence that is not valid becomes U+FFFD.
    static QString fromCp936(const QByteArray& bytes);

    // Whether the bytes are valid UTF-8 (a leading byte order mark allowed).
    static bool isUtf8(const QByteArray& bytes);
    // A text as an editor of this platform reads a file: UTF-8 (its byte order mark dropped)
    // when the bytes are valid UTF-8, else code page 936, the Windows client's text.
    static QString fromUtf8OrCp936(const QByteArray& bytes);

    // Removes every leading and trailing character with a code from 0 to 32.
    static QByteArray trimmed(const QByteArray& bytes);
    static QString trimmed(const QString& text);
};

} // namespace zarq
