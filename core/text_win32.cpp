#include "core/text_win32.h"

#include <climits>

namespace {
std::wstring MultiByteToWide(UINT codePage, std::string_view text) {
    if (text.empty() || text.size() > INT_MAX) return {};
    int length = ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0);
    if (length <= 0) return {};
    std::wstring result(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), result.data(),
                          length);
    return result;
}
}  // namespace

std::string ToProcessAnsi(std::wstring_view text) {
    if (text.empty() || text.size() > INT_MAX) return {};
    int length = ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
    if (length <= 0) return {};
    std::string result(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                          result.data(), length, nullptr, nullptr);
    return result;
}

bool ToCodePageExact(UINT codePage, std::wstring_view text, std::string& out) {
    out.clear();
    if (text.empty()) return true;
    if (text.size() > INT_MAX) return false;
    const int size = static_cast<int>(text.size());
    BOOL usedDefault = FALSE;
    DWORD flags = WC_NO_BEST_FIT_CHARS;
    BOOL* usedDefaultOut = &usedDefault;
    int length = ::WideCharToMultiByte(codePage, flags, text.data(), size, nullptr, 0, nullptr,
                                       usedDefaultOut);
    DWORD error = length <= 0 ? ::GetLastError() : 0;
    if (error == ERROR_INVALID_PARAMETER || error == ERROR_INVALID_FLAGS) {
        // UTF-8 and a few other code pages take neither the flag nor the default-character
        // report; they represent every character anyway.
        flags = 0;
        usedDefaultOut = nullptr;
        length = ::WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, nullptr,
                                       nullptr);
    }
    if (length <= 0) return false;
    out.assign(static_cast<std::size_t>(length), '\0');
    usedDefault = FALSE;
    ::WideCharToMultiByte(codePage, flags, text.data(), size, out.data(), length, nullptr,
                          usedDefaultOut);
    return !usedDefault;
}

std::wstring FromProcessAnsi(std::string_view text) { return MultiByteToWide(CP_ACP, text); }

std::wstring FromCodePage(UINT codePage, std::string_view text) {
    return MultiByteToWide(codePage, text);
}

std::wstring FromUtf8(std::string_view text) { return MultiByteToWide(CP_UTF8, text); }
