// Cabinet extraction. The names inside a cabinet are the update host's to choose: absolute,
// climbing out with "..", or leading through a link that lies in the destination. Whatever the
// input, nothing may appear or change outside the destination folder: not the cabinet itself,
// not the folder and the file beside the destination that links inside it point at, not the
// sentinel beside the scratch folder.
#include "FuzzTarget.h"
#include "ScratchFolder.h"
#include "update/CabinetExtractor.h"

using zarq::fuzz::ScratchFolder;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zarq::fuzz::ensureCoreApplication();
    const ScratchFolder& scratch = ScratchFolder::instance();
    scratch.reset();
    scratch.write(QStringLiteral("in.cab"), zarq::fuzz::bytesOf(data, size));
    scratch.write(QStringLiteral("beside/file.txt"), "beside the destination\n");
    scratch.write(QStringLiteral("dest/old.txt"), "extracted before\n");
    scratch.link(scratch.path(QStringLiteral("beside")), QStringLiteral("dest/link"));
    scratch.link(scratch.path(QStringLiteral("beside/file.txt")), QStringLiteral("dest/file.txt"));
    const std::vector<std::string> destination{"dest"};
    const ScratchFolder::Listing before = ScratchFolder::listing(scratch.scratch(), destination);
    const ScratchFolder::Listing outside = scratch.outside();

    QStringList refused;
    const int result = zarq::ExtractCabinet(scratch.path(QStringLiteral("in.cab")),
                                            scratch.path(QStringLiteral("dest")), &refused);
    if (result != 0 && result != -1)
        zarq::fuzz::fail("the extraction answers neither 0 nor -1");
    if (ScratchFolder::listing(scratch.scratch(), destination) != before)
        zarq::fuzz::fail("the extraction wrote outside its destination");
    if (scratch.outside() != outside)
        zarq::fuzz::fail("the extraction wrote beside the scratch folder");
    for (const QString& name : refused) {
        if (name.isEmpty())
            zarq::fuzz::fail("a refused entry has no name");
    }
    return 0;
}
