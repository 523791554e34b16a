// Version texts come from registry subkey names and the configuration file: parsing and
// formatting must never fail loudly, and a parsed version formats to digits and dots.
#include "core/version.h"
#include "fuzz_input.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::wstring text = WideFromBytes(data, size);
    for (std::int32_t fill : {0, 65535}) {
        VersionNumber version;
        if (ParseVersion(text, fill, version)) {
            for (std::int32_t component : version.components) {
                if (component < 0) std::abort();
            }
            if (version.componentCount < 1 || version.componentCount > 5) std::abort();
        } else if (version.componentCount != 0) {
            std::abort();
        }
        for (wchar_t c : FormatVersion(version)) {
            if (c != L'.' && (c < L'0' || c > L'9')) std::abort();
        }
    }
    return 0;
}
