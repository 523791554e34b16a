// Modified UTF-8 from the VM: any bytes decode, never into more units than bytes.
#include <cstdlib>
#include <string_view>

#include "hosting/modified_utf8.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string text =
        DecodeModifiedUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
    if (text.size() > size) std::abort();
    return 0;
}
