// Command line and list splitting: never crash, and the pieces never hold more text than
// the input.
#include <cstdlib>

#include "launcher/command_line.h"
#include "fuzz_input.h"
#include "options/path_utils.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::wstring text = WideFromBytes(data, size);
    std::size_t total = 0;
    for (const auto& item : SplitArguments(text)) total += item.size();
    if (total > text.size()) std::abort();
    ParseCommandLine(text);
    total = 0;
    for (const auto& item : SplitList(text, L";")) total += item.size();
    if (total > text.size()) std::abort();
    SplitList(text, L"\r\n");
    return 0;
}
