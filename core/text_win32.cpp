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

std::string ToThreadAnsi(std::wstring_view text) {
    if (text.empty() || text.size() > INT_MAX) return {};
    int length = ::WideCharToMultiByte(CP_THREAD_ACP, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
    if (length <= 0) return {};
    std::string result(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_THREAD_ACP, 0, text.data(), static_cast<int>(text.size()),
                          result.data(), length, nullptr, nullptr);
    return result;
}

std::wstring FromThreadAnsi(std::string_view text) { return MultiByteToWide(CP_THREAD_ACP, text); }

std::wstring FromUtf8(std::string_view text) { return MultiByteToWide(CP_UTF8, text); }
