// A damaged class file, jar or module image must never make the readers of the module check
// look outside its bytes, nor a decoding stopped early read more than it was given.
#include "check/class_file.h"
#include "check/jar_manifest.h"
#include "check/module_check.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An exact-size copy lets AddressSanitizer see any read past the end.
    std::string bytes(reinterpret_cast<const char*>(data), size);
    ClassFileReader reader;
    reader.Read(bytes);
    // Asked again as the bytes grow, as a decoding does.
    ClassFileExtent extent;
    std::size_t needed = extent.Needed(std::string_view(bytes).substr(0, size / 2));
    if (needed != 0 && needed <= size) extent.Needed(bytes);
    ModuleUse use;
    use.AddJar(bytes);
    use.AddClass(bytes);
    use.Missing({"java.base"});
    ImageModules(bytes);
    ReleaseModules(bytes);
    return 0;
}
