#include "options/vm_parameters.h"

std::size_t FindTokenEnd(std::wstring_view text, std::size_t start) {
    constexpr auto npos = std::wstring_view::npos;
    std::size_t space = text.find(L' ', start);
    std::size_t quote = text.find(L'"', start);
    while (quote != npos) {
        if (space == npos) return text.size();
        if (space < quote) return space;
        std::size_t close = text.find(L'"', quote + 1);
        if (close == npos) return space;
        if (close + 1 < text.size() && text[close + 1] == L'"') ++close;
        quote = text.find(L'"', close + 1);
        space = text.find(L' ', close + 1);
    }
    return space == npos ? text.size() : space;
}

void StripQuotes(std::wstring& token) {
    constexpr auto npos = std::wstring::npos;
    std::size_t open = token.find(L'"');
    if (open == npos) return;
    // Built in one pass: each pair is handled where the previous one ended.
    std::wstring result(token, 0, open);
    for (;;) {
        if (open + 1 >= token.size()) {
            result.append(token, open);
            break;
        }
        std::size_t close = token.find(L'"', open + 1);
        if (close == npos) {
            result.append(token, open);
            break;
        }
        if (close + 1 < token.size() && token[close + 1] == L'"') ++close;
        result.append(token, open + 1, close - open - 1);
        std::size_t next = token.find(L'"', close + 1);
        if (next == npos) {
            result.append(token, close + 1);
            break;
        }
        result.append(token, close + 1, next - close - 1);
        open = next;
    }
    token = std::move(result);
}

void ProcessVmParameter(std::wstring token, std::vector<std::wstring>& options,
                        VmParameterContext& context) {
    StripQuotes(token);
    if (IsPercentSizeOption(token)) {
        MemoryAmounts<std::size_t> memory;
        if (context.QueryMemory) memory = context.QueryMemory();
        RewritePercentSize(token, memory);
    }
    if (token.compare(0, 4, L"-Xss") == 0) context.StackSize = ParseStackSize<std::size_t>(token);
    if (token.empty()) return;
    options.push_back(std::move(token));
}

void TokenizeVmParameters(std::wstring_view text, std::vector<std::wstring>& options,
                          VmParameterContext& context) {
    std::size_t start = 0;
    for (;;) {
        std::size_t end = FindTokenEnd(text, start);
        ProcessVmParameter(std::wstring(text.substr(start, end - start)), options, context);
        std::size_t next = end;
        while (next < text.size() && text[next] == L' ') ++next;
        if (next >= text.size()) return;
        start = next;
    }
}

namespace {

/// The one-word spelling of a module option that takes its value as the next word, or null.
const wchar_t* JoinedModuleOption(std::wstring_view option) {
    // The java command's own options of the module system; the VM knows only "--name=value".
    static constexpr const wchar_t* kTwoWordOptions[] = {
        L"--add-opens",          L"--add-exports",         L"--add-reads",
        L"--add-modules",        L"--module-path",         L"--upgrade-module-path",
        L"--limit-modules",      L"--patch-module",        L"--enable-native-access",
    };
    if (option == L"-p") return L"--module-path";
    for (const wchar_t* name : kTwoWordOptions) {
        if (option == name) return name;
    }
    return nullptr;
}

}  // namespace

std::size_t JoinModuleOptionValues(std::vector<std::wstring>& options) {
    std::size_t joined = 0;
    std::vector<std::wstring> result;
    result.reserve(options.size());
    for (std::size_t i = 0; i < options.size(); ++i) {
        const wchar_t* name = JoinedModuleOption(options[i]);
        if (name && i + 1 < options.size()) {
            result.push_back(std::wstring(name) + L"=" + options[i + 1]);
            ++i;
            ++joined;
        } else {
            result.push_back(std::move(options[i]));
        }
    }
    options = std::move(result);
    return joined;
}

std::vector<std::wstring> TakeModulePathOptions(std::vector<std::wstring>& options) {
    static constexpr std::wstring_view kPrefix = L"--module-path=";
    std::vector<std::wstring> values;
    std::vector<std::wstring> rest;
    rest.reserve(options.size());
    for (std::wstring& option : options) {
        if (option.compare(0, kPrefix.size(), kPrefix) == 0) {
            values.push_back(option.substr(kPrefix.size()));
        } else {
            rest.push_back(std::move(option));
        }
    }
    options = std::move(rest);
    return values;
}

const wchar_t* JavaCommandOptionKey(std::wstring_view option) {
    // The java command reads an @file itself; the VM has no such option.
    if (!option.empty() && option.front() == L'@') return L"Virtual Machine Parameters";
    std::wstring_view name = option.substr(0, option.find(L'='));
    // Only the long options take "=value"; "-cp=x" is no option of the java command.
    if (name.size() != option.size() && name.substr(0, 2) != L"--") return nullptr;
    if (name == L"-cp" || name == L"-classpath" || name == L"--class-path") return L"Class Path";
    if (name == L"-jar") return L"Class Path\" and \"Main Class";
    if (name == L"-m" || name == L"--module") return L"Main Module";
    return nullptr;
}

JavaLauncherOption ClassifyJavaLauncherOption(std::wstring_view option) {
    using enum JavaLauncherOption;
    auto startsWith = [option](std::wstring_view prefix) {
        return option.substr(0, prefix.size()) == prefix;
    };
    if (option == L"-server") return ServerVm;
    if (option == L"-client") return ClientVm;
    if (option == L"-showversion" || option == L"--show-version") return ShowVersion;
    if (option == L"-XshowSettings" || startsWith(L"-XshowSettings:")) return ShowSettings;
    if (startsWith(L"-splash:")) return Splash;
    if (option == L"-Xdiag") return Diagnostics;
    if (option == L"--dry-run") return DryRun;
    // java prints something (a version, a usage, the module graph) and ends before main.
    static constexpr std::wstring_view kEnding[] = {
        L"-version",      L"--version",        L"-fullversion",      L"--full-version",
        L"-help",         L"--help",           L"-h",                L"-?",
        L"-X",            L"--help-extra",     L"--list-modules",    L"--validate-modules",
        L"-d",            L"--describe-module",
    };
    std::wstring_view name = option.substr(0, option.find(L'='));
    for (std::wstring_view ending : kEnding) {
        if (name == ending) return EndsJava;
    }
    return None;
}

JavaLauncherRequests TakeJavaLauncherOptions(std::vector<std::wstring>& options) {
    JavaLauncherRequests requests;
    std::vector<std::wstring> rest;
    rest.reserve(options.size());
    for (std::size_t i = 0; i < options.size(); ++i) {
        std::wstring& option = options[i];
        switch (ClassifyJavaLauncherOption(option)) {
            case JavaLauncherOption::None:
                rest.push_back(std::move(option));
                break;
            case JavaLauncherOption::ServerVm:
            case JavaLauncherOption::ClientVm:
                requests.VmType = ClassifyJavaLauncherOption(option);
                break;
            case JavaLauncherOption::ShowVersion:
                requests.ShowVersion = true;
                requests.ShowVersionOnStdout = option == L"--show-version";
                break;
            case JavaLauncherOption::ShowSettings:
                requests.ShowSettings = std::move(option);
                break;
            case JavaLauncherOption::Splash:
                requests.SplashImage = option.substr(option.find(L':') + 1);
                break;
            case JavaLauncherOption::Diagnostics:
                rest.push_back(L"-Dsun.java.launcher.diag=true");
                break;
            case JavaLauncherOption::DryRun:
                requests.DryRun = true;
                break;
            case JavaLauncherOption::EndsJava: {
                // "-d module" and "--describe-module module" take the next word as their value.
                bool valueFollows = (option == L"-d" || option == L"--describe-module");
                requests.EndingOptions.push_back(std::move(option));
                if (valueFollows && i + 1 < options.size()) ++i;
                break;
            }
        }
    }
    options = std::move(rest);
    return requests;
}

std::wstring JavaCommandProperty(std::wstring_view mainClass, std::wstring_view mainModule,
                                 const std::vector<std::wstring>& arguments) {
    std::wstring text = L"-Dsun.java.command=";
    if (!mainModule.empty()) {
        text += mainModule;
    } else {
        for (wchar_t c : mainClass) text += c == L'/' ? L'.' : c;
    }
    for (const std::wstring& argument : arguments) text.append(1, L' ').append(argument);
    return text;
}

PerUserParameters DecidePerUserParameters(std::wstring_view value, bool elevated) {
    if (value.find_first_not_of(L' ') == std::wstring_view::npos) return PerUserParameters::None;
    return elevated ? PerUserParameters::IgnoredElevated : PerUserParameters::Used;
}
