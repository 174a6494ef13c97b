#include "updater/UpdaterRun.h"

#include <QFile>
#include <QStringList>

// The updater: started by the program just before it ends, it puts the staged files in place
// and starts the program again. No window, no output; nobody reads its exit status.
int main(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QFile::decodeName(argv[i]);
    return zarq::UpdaterRun().run(args);
}
