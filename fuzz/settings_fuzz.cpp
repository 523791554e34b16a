// Settings text parsing and the layered rule over arbitrary text.
#include <cstdlib>

#include "config/settings_store.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::wstring text = WideFromBytes(data, size);
    SettingsDocument document;
    ParseSettingsText(document, text);
    std::vector<std::wstring> names;
    document.GetSectionNames(names);
    if (names.size() != document.Sections().size()) std::abort();
    for (const auto& section : document.Sections()) {
        for (const auto& pair : section.Pairs) {
            std::wstring value;
            document.GetString(section.Name, pair.first, value);
            // The first section of a name answers; the value must come from some pair.
            LayeredValue layered = CombineLayers(value, L"", pair.second);
            if (layered.Value.size() < pair.second.size()) std::abort();
        }
    }
    return 0;
}
