// The argument stream is written by another process: whatever it holds, reading it must stay
// within it and give items without NULs, or refuse it whole. What the reader accepts, sent
// again as a hand-over stream in as many blocks as it takes, reads back unchanged.
#include "instance/single_instance.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint16_t> stream(size / 2);
    if (!stream.empty()) std::memcpy(stream.data(), data, stream.size() * 2);

    std::vector<std::wstring> items;
    bool accepted = ParseForwardedArguments(stream, items);
    if (!accepted) {
        if (!items.empty()) std::abort();
        return 0;
    }
    std::size_t units = 2;
    for (const auto& item : items) {
        if (item.find(L'\0') != std::wstring::npos) std::abort();
        units += item.size() + 1;
    }
    if (units > stream.size() || units > kMaxArgumentStreamUnits) std::abort();

    // Joined from blocks whose header stays as it was and whose last unit stays zero.
    InstanceBlock block;
    std::memset(&block, 0x5A, sizeof(block));
    InstanceBlock again = block;
    std::vector<std::uint16_t> packed = PackForwardedArguments(items);
    std::vector<std::uint16_t> pending;
    std::vector<std::wstring> joined;
    std::size_t chunks = ArgumentChunkCount(packed.size());
    for (std::size_t i = 0; i < chunks; ++i) {
        WriteArgumentChunk(again, packed, i);
        if (!HasFreshArguments(again)) std::abort();
        bool last = i + 1 == chunks;
        ArgumentStreamState state = AcceptArgumentChunk(again, !last, pending, joined);
        if (state != (last ? ArgumentStreamState::Complete : ArgumentStreamState::NeedsMore))
            std::abort();
    }
    if (joined != items) std::abort();
    if (std::memcmp(&again, &block, 12) != 0) std::abort();  // the header is left alone
    return 0;
}
