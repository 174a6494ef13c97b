// The updater's list files. The input is a list file ("[FILES]", COUNT, FILEi, TARGETi) staged
// beside a few components; the updater places it as it places every component. Whatever the
// names and targets (climbing with "..", absolute, through links in the application folder),
// nothing may be written outside the application folder and the private temporary folder: the
// staging folder, the folder the links point at and the sentinel beside the scratch folder
// stay as they were.
#include "FuzzTarget.h"
#include "ScratchFolder.h"
#include "support/CabinetBytes.h"
#include "update/SzddWriter.h"
#include "updater/ComponentPlacer.h"
#include "updater/IniText.h"
#include "updater/UpdaterLog.h"

#include <QDir>

using zarq::fuzz::fail;
using zarq::fuzz::ScratchFolder;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zarq::fuzz::ensureCoreApplication();
    const ScratchFolder& scratch = ScratchFolder::instance();
    scratch.reset();
    const QByteArray input = zarq::fuzz::bytesOf(data, size);

    // The list file's own reading first: a count and values, whatever the bytes.
    const zarq::IniText ini = zarq::IniText::parse(input);
    const int count = ini.integer(QStringLiteral("FILES"), QStringLiteral("COUNT"), 0);
    (void)ini.value(QStringLiteral("FILES"), QStringLiteral("FILE1"));
    // Past the few components staged here, more entries run the same code again: a search
    // that wanders into large counts would spend its time there and find nothing new. (The
    // bound of a list's length has its own unit test.)
    if (count > 256)
        return 0;

    scratch.write(QStringLiteral("stage/LIST.INF"), input);
    scratch.write(QStringLiteral("stage/a.txt_NEW"), "the new a\n");
    static const QByteArray packed = zarq::SzddWriter::compress("expanded b\n", 'e');
    static const QByteArray cabinet =
        testcab::craftCabinet({{"sub\\c.txt", "from the cabinet\n"},
                               {"..\\climbed.txt", "climbed\n"},
                               {"out\\through.txt", "through a link\n"}});
    scratch.write(QStringLiteral("stage/b.ex_"), packed);
    scratch.write(QStringLiteral("stage/plain.txt"), "plain\n");
    scratch.write(QStringLiteral("stage/c.cab"), cabinet);
    scratch.link(scratch.path(QStringLiteral("outside/file.txt")),
                 QStringLiteral("stage/linked.txt_NEW"));
    scratch.write(QStringLiteral("outside/file.txt"), "outside\n");
    scratch.write(QStringLiteral("app/old.txt"), "installed\n");
    scratch.link(scratch.path(QStringLiteral("outside")), QStringLiteral("app/out"));
    scratch.link(scratch.path(QStringLiteral("outside/file.txt")), QStringLiteral("app/plain.txt"));
    QDir().mkpath(scratch.path(QStringLiteral("tmp")));
    const std::vector<std::string> writable{"app", "tmp"};
    const ScratchFolder::Listing before = ScratchFolder::listing(scratch.scratch(), writable);
    const ScratchFolder::Listing outside = scratch.outside();

    const zarq::UpdaterLog log(scratch.path(QStringLiteral("tmp/UPDATE.LOG")), false);
    const QString app = scratch.path(QStringLiteral("app/"));
    zarq::ComponentPlacer placer(log, app, scratch.path(QStringLiteral("tmp")),
                                 app + QStringLiteral("zarq"));
    placer.sleep = [](int) {};
    placer.place(QStringLiteral("LIST.INF"), scratch.path(QStringLiteral("stage/")), app);

    if (ScratchFolder::listing(scratch.scratch(), writable) != before)
        fail("the list file wrote outside the application and temporary folders");
    if (scratch.outside() != outside)
        fail("the list file wrote beside the scratch folder");
    return 0;
}
