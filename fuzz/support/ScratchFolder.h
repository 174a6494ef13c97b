#pragma once

#include "FuzzTarget.h"

#include <QByteArray>
#include <QString>
#include <string>
#include <vector>

namespace zarq::fuzz {

// The one folder a target that writes files may use, made once per process under $TMPDIR (the
// replay tests run with the machine's own; scripts/fuzz points it at a throw-away folder):
//
//   <root>/home/      HOME and the XDG folders point here before the code under test runs, so
//                     nothing it derives from them reaches the user's own folders
//   <root>/sentinel   a file beside the scratch folder that no input may change
//   <root>/scratch/   emptied before every input; the target lays out its folders in it
//
// listing() describes a tree entry by entry (type, size, mode, link target, a digest of the
// content) without following links, so a target can compare the tree before and after an
// input. The work of every input goes through here several times, so it is done with the
// system's own calls: at Qt's pace the listings took most of each run.
class ScratchFolder {
public:
    using Listing = std::vector<std::string>;

    static ScratchFolder& instance();

    QString root() const { return m_root; }
    QString scratch() const { return m_root + QStringLiteral("/scratch"); }
    QString path(const QString& relative) const { return scratch() + QLatin1Char('/') + relative; }

    // An empty scratch folder for the next input.
    void reset() const;
    // Writes a file below the scratch folder, making its folders.
    void write(const QString& relative, const QByteArray& bytes) const;
    // Makes a symbolic link below the scratch folder that points at `target`.
    void link(const QString& target, const QString& relative) const;

    // Every entry below `dir` except those below one of `skipped` (paths relative to `dir`),
    // one line each, in name order.
    static Listing listing(const QString& dir, const std::vector<std::string>& skipped = {});

    // The sentinel and the home folder's tree: whatever an input did must leave these as they
    // were (the home folder may gain the private folders the code makes on first use).
    Listing outside() const { return listing(root(), {"scratch", "home"}); }

    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

private:
    ScratchFolder();
    ~ScratchFolder();

    QString m_root;
};

} // namespace zarq::fuzz
