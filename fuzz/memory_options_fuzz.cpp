// Percentage sizes and stack sizes in both integer widths: never crash, never trap on
// overflow (UBSan), and a rewritten option always ends in "K".
#include <cstdint>
#include <cstdlib>

#include "fuzz_input.h"
#include "options/memory_options.h"

namespace {
template <typename Unsigned>
void Exercise(const std::wstring& text, Unsigned total, Unsigned available) {
    ParseNumberList<Unsigned>(text);
    ParseStackSize<Unsigned>(text);
    for (const wchar_t* prefix : {L"-Xmx", L"-Xss"}) {
        for (const wchar_t* suffix : {L"p", L"T"}) {
            std::wstring option = prefix + text + suffix;
            if (!IsPercentSizeOption(option)) std::abort();
            RewritePercentSize<Unsigned>(option, MemoryAmounts<Unsigned>{total, available});
            if (option.empty() || option.back() != L'K') std::abort();
            ParseStackSize<Unsigned>(option);
        }
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 8) return 0;
    std::uint64_t total = 0;
    for (int i = 0; i < 8; ++i) total = (total << 8) | data[i];
    std::wstring text = WideFromBytes(data + 8, size - 8);
    Exercise<std::uint64_t>(text, total, total >> 3);
    Exercise<std::uint32_t>(text, static_cast<std::uint32_t>(total), 0x7FFFFFFFu);
    return 0;
}
