// A damaged jar must never make the zip, deflate or manifest readers look outside its bytes.
#include "check/jar_manifest.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An exact-size copy lets AddressSanitizer see any read past the end.
    std::string bytes(reinterpret_cast<const char*>(data), size);
    JarContents contents = ReadJarContents(bytes, "app/Main.class");
    if (contents.manifest) {
        ManifestAttributesNotCarried(ManifestMainAttributes(*contents.manifest), {});
    }
    Inflate(bytes, 1 << 16);
    return 0;
}
