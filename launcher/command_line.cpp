#include "launcher/command_line.h"

#include "options/path_utils.h"

std::vector<std::wstring> ParseCommandLine(std::wstring_view commandLine) {
    while (!commandLine.empty() && IsWideSpace(commandLine.front())) commandLine.remove_prefix(1);
    while (!commandLine.empty() && IsWideSpace(commandLine.back())) commandLine.remove_suffix(1);
    std::vector<std::wstring> items = SplitArguments(commandLine);
    if (!items.empty()) items.erase(items.begin());
    return items;
}

bool HasSplashSwitch(const std::vector<std::wstring>& arguments) {
    for (const auto& argument : arguments) {
        if (argument == L"-nosplash" || argument == L"/nosplash") return true;
    }
    return false;
}
