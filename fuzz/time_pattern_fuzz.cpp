// Output and error file names come from the configuration: any text, any number of "%"
// signs. Expansion must never read outside the name and must keep prefix and suffix.
#include "hosting/time_pattern.h"
#include "fuzz_input.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::wstring name = WideFromBytes(data, size);
    PictureFormatter same = [](const std::wstring& p) -> std::optional<std::wstring> { return p; };
    PictureFormatter refuse = [](const std::wstring&) -> std::optional<std::wstring> {
        return std::nullopt;
    };
    std::wstring expanded = ExpandTimePattern(name, 123, same, refuse);
    auto parts = SplitTimePattern(name);
    if (!parts) {
        if (expanded != name) std::abort();
    } else if (expanded.compare(0, parts->prefix.size(), parts->prefix) != 0 ||
               expanded.size() < parts->prefix.size() + parts->suffix.size() ||
               expanded.compare(expanded.size() - parts->suffix.size(), parts->suffix.size(),
                                parts->suffix) != 0) {
        std::abort();
    }
    return 0;
}
