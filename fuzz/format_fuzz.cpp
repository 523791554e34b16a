// Message templates come from resources, but the argument text is anything (a class name,
// a path): filling must never read past the arguments.
#include "core/format.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::size_t half = size / 2;
    std::wstring tmpl = WideFromBytes(data, half);
    std::wstring argument = WideFromBytes(data + half, size - half);
    FormatTemplate(tmpl, {std::wstring_view(argument), std::int64_t{-1}});
    FormatTemplate(tmpl, {});
    return 0;
}
