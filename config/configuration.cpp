#include "config/configuration.h"

#include "core/path_utils.h"

std::optional<std::wstring> ConfigurationPathFor(std::wstring_view executablePath) {
    std::size_t dot = executablePath.rfind(L'.');
    if (dot == std::wstring_view::npos) return std::nullopt;
    return std::wstring(executablePath.substr(0, dot + 1)) + L"ini";
}

std::wstring LauncherFolderOf(std::wstring_view executablePath) { return FolderOf(executablePath); }

std::wstring SanitizeFolderName(std::wstring_view name) {
    static constexpr std::wstring_view kForbidden = L"\\?\"|><:/*";
    std::wstring result;
    result.reserve(name.size());
    for (wchar_t c : name) {
        if (kForbidden.find(c) == std::wstring_view::npos) result += c;
    }
    return result;
}

PerUserLocation PerUserLocationFor(std::wstring_view appData, std::wstring_view productName,
                                   std::wstring_view productCode,
                                   std::wstring_view executablePath) {
    std::size_t slash = executablePath.rfind(L'\\');
    std::wstring_view name =
        slash == std::wstring_view::npos ? executablePath : executablePath.substr(slash + 1);
    std::size_t dot = name.rfind(L'.');
    if (dot != std::wstring_view::npos) name = name.substr(0, dot);

    PerUserLocation location;
    // Without a per-user folder there is no per-user file: a path built from nothing would
    // lie at the root of the current drive, where any local user can create it first and
    // choose the runtime this user loads.
    bool absolute = (appData.size() >= 2 && appData[1] == L':' &&
                     ((appData[0] >= L'A' && appData[0] <= L'Z') ||
                      (appData[0] >= L'a' && appData[0] <= L'z'))) ||
                    (appData.size() > 2 && appData[0] == L'\\' && appData[1] == L'\\');
    if (!absolute) return location;
    location.ProductFolder = std::wstring(appData) + L"\\" + SanitizeFolderName(productName);
    // A code such as "1:2" or "a\b" would name no folder, or one below a missing one: every
    // save would fail.
    location.CodeFolder = location.ProductFolder + L"\\" + SanitizeFolderName(productCode);
    location.File = location.CodeFolder + L"\\" + std::wstring(name) + L".ini";
    return location;
}

std::wstring ResolveJrePath(std::wstring_view value, std::wstring_view launcherFolder) {
    if (value.size() >= 2 && ((value[0] == L'\\' && value[1] == L'\\') || value[1] == L':')) {
        return std::wstring(value);
    }
    return std::wstring(launcherFolder) + L"\\" + std::wstring(value);
}

std::wstring MainClassSlashForm(std::wstring_view mainClass) {
    std::wstring result(mainClass);
    for (wchar_t& c : result) {
        if (c == L'.') c = L'/';
    }
    return result;
}

MainModuleSetting ParseMainModule(std::wstring_view value) {
    MainModuleSetting setting;
    std::size_t slash = value.find(L'/');
    setting.Module = std::wstring(value.substr(0, slash));
    if (slash != std::wstring_view::npos) {
        // Written like "Main Class", with dots or slashes; the helper wants dots.
        setting.Class = std::wstring(value.substr(slash + 1));
        for (wchar_t& c : setting.Class) {
            if (c == L'/') c = L'.';
        }
    }
    return setting;
}

std::wstring ModuleLaunchTarget(const MainModuleSetting& setting) {
    if (setting.Class.empty()) return setting.Module;
    return setting.Module + L"/" + setting.Class;
}

bool IsYesFlag(std::wstring_view value) { return EqualsIgnoringAsciiCase(value, L"yes"); }

std::wstring ResolvePairProductPath(std::wstring_view value, std::wstring_view launcherFolder) {
    if (value.empty()) return {};
    return ResolveJrePath(value, launcherFolder);
}

std::optional<std::wstring> PairConfigurationPathFor(std::wstring_view value,
                                                     std::wstring_view launcherFolder) {
    std::size_t slash = value.find_last_of(L"\\/");
    std::wstring_view name = slash == std::wstring_view::npos ? value : value.substr(slash + 1);
    if (name.find(L'.') == std::wstring_view::npos) return std::nullopt;
    return ConfigurationPathFor(ResolvePairProductPath(value, launcherFolder));
}
