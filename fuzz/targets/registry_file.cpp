// The settings file reader. Whatever it accepts must be written back in a form it reads again
// as the same document: a settings file the program saved and cannot load again is lost data.
#include "FuzzTarget.h"
#include "platform/RegistryDocument.h"

#include <optional>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input = zarq::fuzz::bytesOf(data, size);
    std::optional<zarq::RegistryParseError> error;
    const zarq::RegistryDocument doc = zarq::RegistryDocument::parse(input, &error);
    if (error)
        return 0;
    const QByteArray written = doc.serialize();
    std::optional<zarq::RegistryParseError> again;
    const zarq::RegistryDocument reread = zarq::RegistryDocument::parse(written, &again);
    if (again)
        zarq::fuzz::fail("a saved document cannot be read again");
    if (reread.serialize() != written)
        zarq::fuzz::fail("a saved document reads back differently");
    return 0;
}
