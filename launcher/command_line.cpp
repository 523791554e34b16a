#include "launcher/command_line.h"

#include "core/path_utils.h"

std::vector<std::wstring> ParseCommandLine(std::wstring_view commandLine) {
    while (!commandLine.empty() && IsWideSpace(commandLine.front())) commandLine.remove_prefix(1);
    // The program path follows its own rule, as in the C runtime: quotes toggle, backslashes
    // are ordinary, and it ends at the first space or tab outside quotes.
    bool quoted = false;
    std::size_t end = 0;
    for (; end < commandLine.size(); ++end) {
        wchar_t c = commandLine[end];
        if (c == L'"') {
            quoted = !quoted;
        } else if (!quoted && (c == L' ' || c == L'\t')) {
            break;
        }
    }
    return SplitArguments(commandLine.substr(end));
}

bool HasSplashSwitch(const std::vector<std::wstring>& arguments) {
    for (const auto& argument : arguments) {
        if (argument == L"-nosplash" || argument == L"/nosplash") return true;
    }
    return false;
}
