// LZ ("SZDD") expansion of a file whose bytes are the input. The header names the expanded
// file's last character, so the name the expansion writes is partly the sender's: it must stay
// a plain name beside the compressed file. A failed expansion leaves its target as it was and
// no temporary file behind; a file that is not compressed is never destroyed.
//
// Input: the first byte chooses the compressed file's name and is the missing character of the
// round trip; the rest is the file. The second half of the input is also packed by our own
// writer and expanded again, which must give it back.
#include "FuzzTarget.h"
#include "ScratchFolder.h"
#include "update/LzExpander.h"
#include "update/SzddWriter.h"

#include <QFile>

using zarq::LzExpander;
using zarq::fuzz::fail;
using zarq::fuzz::ScratchFolder;

namespace {

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Names as a download may give them, with and without the "_" that stands for the missing
// character.
const char* const kNames[] = {"packed.ex_", "plain.txt", "_", "._", "x_"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    zarq::fuzz::ensureCoreApplication();
    const ScratchFolder& scratch = ScratchFolder::instance();
    scratch.reset();
    const QString name = QLatin1String(kNames[data[0] % (sizeof kNames / sizeof *kNames)]);
    const QByteArray file = zarq::fuzz::bytesOf(data + 1, size - 1);
    const QString source = QStringLiteral("in/") + name;
    scratch.write(source, file);
    const QString target = QStringLiteral("out/target.bin");
    scratch.write(target, "the old target\n");
    const QString lzCopy = QStringLiteral("lz/") + name;
    scratch.write(lzCopy, file);

    const bool compressed = LzExpander::isCompressed(scratch.path(source));
    const QString expandedName = LzExpander::expandedName(scratch.path(source));
    if (expandedName.isEmpty() || expandedName.contains(QLatin1Char('/')) ||
        expandedName == QLatin1String(".") || expandedName == QLatin1String(".."))
        fail("the expanded name is no plain file name");
    if (!compressed && expandedName != name)
        fail("a file that is not compressed changes its name");

    // expandTo writes its target and nothing else.
    const std::vector<std::string> beside{target.toStdString(), "lz"};
    const ScratchFolder::Listing others = ScratchFolder::listing(scratch.scratch(), beside);
    const ScratchFolder::Listing outside = scratch.outside();
    QString error;
    const bool expanded =
        LzExpander::expandTo(scratch.path(source), scratch.path(target), 0600, &error);
    const QByteArray result = contentOf(scratch.path(target));
    if (!expanded && (result != "the old target\n" || error.isEmpty()))
        fail("a failed expansion changed its target or gave no reason");
    if (expanded && !compressed && result != file)
        fail("a file that is not compressed was not copied as it is");
    if (contentOf(scratch.path(source)) != file)
        fail("the expansion changed its source");
    if (ScratchFolder::listing(scratch.scratch(), beside) != others)
        fail("the expansion wrote beside its target");

    // ExpandLZFile leaves either the untouched file or its expansion beside it.
    const QString kept = zarq::ExpandLZFile(scratch.path(lzCopy));
    const ScratchFolder::Listing lz = ScratchFolder::listing(scratch.path(QStringLiteral("lz")));
    if (kept.isEmpty()) {
        if (!compressed || contentOf(scratch.path(lzCopy)) != file || lz.size() != 1)
            fail("a failed expansion lost the compressed file");
    } else {
        if (kept != scratch.path(QStringLiteral("lz/") + expandedName) || lz.size() != 1)
            fail("the expansion is not the one file under its expanded name");
        if (!compressed && contentOf(kept) != file)
            fail("a file that is not compressed was changed");
        if (compressed && expanded && contentOf(kept) != result)
            fail("the two ways of expanding disagree");
    }
    if (ScratchFolder::listing(scratch.scratch(), beside) != others)
        fail("the expansion wrote outside its folder");
    if (scratch.outside() != outside)
        fail("the expansion wrote beside the scratch folder");

    // Our own writer's output expands to what it packed.
    const QByteArray payload = file.mid(file.size() / 2);
    const char missing = static_cast<char>(data[0]);
    scratch.write(QStringLiteral("rt/x.ex_"), zarq::SzddWriter::compress(payload, missing));
    const QString packed = scratch.path(QStringLiteral("rt/x.ex_"));
    if (!LzExpander::isCompressed(packed))
        fail("our packed file is not read as compressed");
    const QString back = scratch.path(QStringLiteral("rt/x.bin"));
    if (!LzExpander::expandTo(packed, back, 0600, &error))
        fail("our packed file does not expand");
    if (contentOf(back) != payload)
        fail("our packed file expands to other bytes");
    return 0;
}
