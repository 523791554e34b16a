// Settings text parsing and the layered rule over arbitrary text.
#include <cstdlib>

#include "config/settings_store.h"
#include "config/utf8_settings.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::wstring text = WideFromBytes(data, size);
    SettingsDocument document;
    ParseSettingsText(document, text);
    for (const auto& section : document.Sections()) {
        for (const auto& pair : section.Pairs) {
            LayeredValue layered = CombineLayers(L"", pair.second);
            if (layered.Value.size() < pair.second.size()) std::abort();
        }
    }

    // The same bytes as a file saved as UTF-8: detection, parsing, and the one-key rewrite.
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (IsUtf8SettingsFile(bytes)) {
        SettingsDocument utf8;
        ParseUtf8Settings(utf8, bytes);
        std::wstring decoded = DecodeUtf8Text(bytes);
        std::wstring rewritten =
            RewriteSettingsValue(decoded, L"Java Runtime Environment", L"JRE Path", L"C:\\jre\\");
        SettingsDocument after;
        ParseUtf8Settings(after, EncodeUtf8Text(rewritten));
        (void)FindProfileValue(after, L"Java Runtime Environment", L"JRE Path");
    }
    return 0;
}
