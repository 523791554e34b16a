// A damaged jvm.dll or launcher must never make the header reader look outside the bytes.
#include "core/pe_header.h"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An exact-size copy lets AddressSanitizer see any read past the end.
    std::vector<std::uint8_t> bytes(data, data + size);
    const std::optional<std::uint16_t> machine = ReadPeMachine(bytes.data(), bytes.size());
    PeHeaders headers;
    std::string error;
    const ByteView image(bytes);
    if (ReadPeHeaders(image, &headers, &error)) {
        // Whole headers hold the Machine field the short reader finds.
        if (machine != headers.machine || headers.section_table_offset > bytes.size()) {
            std::abort();
        }
        for (std::size_t i = 0; i < 16; ++i) headers.DirectorySize(image, i);
    } else if (error.empty()) {
        std::abort();
    }
    return 0;
}
