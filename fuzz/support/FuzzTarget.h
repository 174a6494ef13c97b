#pragma once

#include <QByteArray>
#include <cstddef>
#include <cstdint>

// Every fuzz target defines this one function. The same source builds two programs: with
// libFuzzer for the search, and with the ordinary compiler and a small main that replays the
// stored corpus and regression inputs under ctest.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace zarq::fuzz {

// The application object the code under test may need (event loop, codecs); made once.
void ensureCoreApplication();

// The input as bytes, without copying.
inline QByteArray bytesOf(const uint8_t* data, size_t size) {
    return QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
}

// Ends the run as a finding: libFuzzer keeps the input, the replay test fails.
[[noreturn]] void fail(const char* what);

} // namespace zarq::fuzz
