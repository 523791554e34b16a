// Link colours come from a user-writable registry value.
#include "ui/anchor_color.h"
#include "fuzz_input.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto colour = ParseAnchorColor(WideFromBytes(data, size));
    if (colour && (colour->red < 0 || colour->red > 255 || colour->green < 0 ||
                   colour->green > 255 || colour->blue < 0 || colour->blue > 255)) {
        std::abort();
    }
    return 0;
}
