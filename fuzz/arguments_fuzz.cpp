// Command line and list splitting: never crash, the pieces never hold more text than the
// input, and arguments quoted by the C runtime's rules split back into themselves.
#include <cstdlib>

#include "launcher/command_line.h"
#include "fuzz_input.h"
#include "core/path_utils.h"

namespace {

/// One argument quoted so that the C runtime's rules give it back: quotes around it, a
/// backslash before each quote, and the backslashes before a quote doubled.
std::wstring Quote(const std::wstring& argument) {
    std::wstring quoted = L"\"";
    std::size_t slashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        quoted.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
        quoted += c;
        slashes = 0;
    }
    quoted.append(slashes * 2, L'\\');
    return quoted + L"\"";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::wstring text = WideFromBytes(data, size);
    std::size_t total = 0;
    std::vector<std::wstring> arguments = SplitArguments(text);
    for (const auto& item : arguments) total += item.size();
    if (total > text.size()) std::abort();
    std::wstring line;
    for (const auto& item : arguments) line += Quote(item) + L" ";
    if (SplitArguments(line) != arguments) std::abort();
    ParseCommandLine(text);
    total = 0;
    for (const auto& item : SplitList(text, L";")) total += item.size();
    if (total > text.size()) std::abort();
    SplitList(text, L"\r\n");
    return 0;
}
