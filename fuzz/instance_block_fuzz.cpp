// The shared block is written by another process: whatever it holds, reading it must stay
// within the block and give items without NULs. What the reader returns, sent again as a
// hand-over stream in as many blocks as it takes, reads back unchanged.
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
    if (items.empty()) return 0;

    // Joined from blocks whose header stays as it was and whose last unit stays zero.
    std::vector<std::uint16_t> stream = PackForwardedArguments(items);
    std::vector<std::uint16_t> joined;
    InstanceBlock again = block;
    for (std::size_t i = 0; i < ArgumentChunkCount(stream.size()); ++i) {
        WriteArgumentChunk(again, stream, i);
        if (!HasFreshArguments(again)) std::abort();
        AppendArgumentChunk(again, joined);
    }
    if (ParseForwardedArguments(joined) != items) std::abort();
    if (std::memcmp(&again, &block, 12) != 0) std::abort();  // the header is left alone
    return 0;
}
