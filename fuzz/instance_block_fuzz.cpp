// The shared block is written by another process: whatever it holds, reading it must stay
// within the block and give items without NULs. What the reader returns, packed again when
// it fits, reads back unchanged.
#include "instance/single_instance.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    InstanceBlock block;
    std::memset(&block, 0, sizeof(block));
    std::memcpy(&block, data, size < sizeof(block) ? size : sizeof(block));

    std::vector<std::wstring> items = ReadForwardedArguments(block);
    std::size_t units = 0;
    for (const auto& item : items) {
        if (item.find(L'\0') != std::wstring::npos) std::abort();
        units += item.size() + 1;
    }
    if (units > (kArgumentScanEnd - 12) / 2) std::abort();

    if (items.empty() || !ArgumentsFitBlock(items)) return 0;
    InstanceBlock again = block;
    if (!WriteForwardedArguments(again, items)) std::abort();
    if (ReadForwardedArguments(again) != items) std::abort();
    if (std::memcmp(&again, &block, 12) != 0) std::abort();  // the header is left alone
    return 0;
}
