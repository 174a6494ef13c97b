// Replays stored inputs through a fuzz target without libFuzzer: every file of the folders (or
// the files) named on the command line, in name order. A finding aborts the program, which
// fails its ctest test.
#include "FuzzTarget.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

int main(int argc, char** argv) {
    int replayed = 0;
    for (int i = 1; i < argc; ++i) {
        const QFileInfo info(QString::fromLocal8Bit(argv[i]));
        QStringList files;
        if (info.isDir()) {
            for (const QFileInfo& entry :
                 QDir(info.filePath()).entryInfoList(QDir::Files | QDir::Hidden, QDir::Name))
                files << entry.filePath();
        } else if (info.exists()) {
            files << info.filePath();
        } else {
            std::fprintf(stderr, "replay: %s does not exist\n", argv[i]);
            return 2;
        }
        for (const QString& path : files) {
            if (QFileInfo(path).fileName() == ".gitkeep")
                continue;
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "replay: cannot read %s\n", qPrintable(path));
                return 2;
            }
            const QByteArray bytes = file.readAll();
            std::fprintf(stderr, "replay: %s (%lld bytes)\n", qPrintable(path),
                         static_cast<long long>(bytes.size()));
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                   size_t(bytes.size()));
            ++replayed;
        }
    }
    if (replayed == 0) {
        std::fprintf(stderr, "replay: no input found\n");
        return 2;
    }
    std::fprintf(stderr, "replay: %d inputs, no finding\n", replayed);
    return 0;
}
