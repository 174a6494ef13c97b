#include "update/SzddWriter.h"

#include <QFile>
#include <cstdio>

// Build tool: packs a file into the LZ ("SZDD") form.
//   zarq-szdd <input> <output> <missing character>
int main(int argc, char** argv) {
    if (argc != 4 || argv[3][0] == '\0' || argv[3][1] != '\0') {
        std::fprintf(stderr, "usage: zarq-szdd <input> <output> <missing character>\n");
        return 2;
    }
    QFile in(QFile::decodeName(argv[1]));
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "zarq-szdd: cannot read %s\n", argv[1]);
        return 1;
    }
    const QByteArray packed = zarq::SzddWriter::compress(in.readAll(), argv[3][0]);
    QFile out(QFile::decodeName(argv[2]));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        out.write(packed) != packed.size() || !out.flush()) {
        std::fprintf(stderr, "zarq-szdd: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
