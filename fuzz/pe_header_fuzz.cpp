// A damaged jvm.dll must never make the header reader look outside the file's bytes.
#include "core/pe_header.h"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An exact-size copy lets AddressSanitizer see any read past the end.
    std::vector<std::uint8_t> bytes(data, data + size);
    ReadPeMachine(bytes.data(), bytes.size());
    return 0;
}
