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

using zarq::fuzz::fail;
using zarq::fuzz::ScratchFolder;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zarq::fuzz::ensureCoreApplication();
    const ScratchFolder& scratch = ScratchFolder::instance();
    scratch.reset();
    const QByteArray input = zarq::fuzz::bytesOf(data, size);

    // The list file's own reading first: a count and values, whatever the bytes.
    const zarq::IniText ini = zarq::IniText::parse(input);
    (void)ini.integer(QStringLiteral("FILES"), QStringLiteral("COUNT"), 0);
    (void)ini.value(QStringLiteral("FILES"), QStringLiteral("FILE1"));

    scratch.write(QStringLiteral("stage/LIST.INF"), input);
    scratch.write(QStringLiteral("stage/a.txt_NEW"), "the new a\n");
    scratch.write(QStringLiteral("stage/b.ex_"), zarq::SzddWriter::compress("expanded b\n", 'e'));
    scratch.write(QStringLiteral("stage/plain.txt"), "plain\n");
    scratch.write(QStringLiteral("stage/c.cab"),
                  testcab::craftCabinet({{"sub\\c.txt", "from the cabinet\n"},
                                         {"..\\climbed.txt", "climbed\n"},
                                         {"out\\through.txt", "through a link\n"}}));
    scratch.link(scratch.path(QStringLiteral("outside/file.txt")),
                 QStringLiteral("stage/linked.txt_NEW"));
    scratch.write(QStringLiteral("outside/file.txt"), "outside\n");
    scratch.write(QStringLiteral("app/old.txt"), "installed\n");
    scratch.link(scratch.path(QStringLiteral("outside")), QStringLiteral("app/out"));
    scratch.link(scratch.path(QStringLiteral("outside/file.txt")), QStringLiteral("app/plain.txt"));
    QDir().mkpath(scratch.path(QStringLiteral("tmp")));
    const QStringList writable{QStringLiteral("app"), QStringLiteral("tmp")};
    const QStringList before = ScratchFolder::listing(scratch.scratch(), writable);
    const QStringList outside = scratch.outside();

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
