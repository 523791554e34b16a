#pragma once

// Small helpers shared by the test tools: argument decoding, UTF-8 and JSON output. The tools
// stand apart from the launcher's own code so that a fault there cannot hide in the tools.

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/unique_handle_win32.h"

namespace tool {

inline std::wstring Widen(std::string_view utf8) {
    if (utf8.empty()) return {};
    int length =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(),
                          length);
    return out;
}

inline std::string Narrow(std::wstring_view text) {
    if (text.empty()) return {};
    int length = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                          length, nullptr, nullptr);
    return out;
}

/// Decodes hex-encoded UTF-8 (the harness passes every text this way so that Wine's own
/// argument conversion cannot alter it). Returns false on malformed input.
inline bool DecodeHex(std::wstring_view hex, std::wstring& out) {
    if (hex.size() % 2 != 0) return false;
    std::string bytes;
    for (size_t i = 0; i < hex.size(); i += 2) {
        auto nibble = [](wchar_t c) -> int {
            if (c >= L'0' && c <= L'9') return c - L'0';
            if (c >= L'a' && c <= L'f') return c - L'a' + 10;
            if (c >= L'A' && c <= L'F') return c - L'A' + 10;
            return -1;
        };
        int high = nibble(hex[i]);
        int low = nibble(hex[i + 1]);
        if (high < 0 || low < 0) return false;
        bytes.push_back(static_cast<char>(high * 16 + low));
    }
    out = Widen(bytes);
    return true;
}

inline std::string JsonString(std::wstring_view text) {
    std::string utf8 = Narrow(text);
    std::string out = "\"";
    for (unsigned char c : utf8) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char buffer[8];
                    std::snprintf(buffer, sizeof(buffer), "\\u%04x", c);
                    out += buffer;
                } else {
                    out.push_back(static_cast<char>(c));
                }
        }
    }
    out += "\"";
    return out;
}

/// Writes UTF-8 bytes to standard output unchanged (no console code-page conversion).
inline void WriteOut(const std::string& text) {
    HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD written = 0;
    ::WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

inline void WriteErr(const std::string& text) {
    HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
    DWORD written = 0;
    ::WriteFile(err, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

inline bool WriteFileUtf8(const std::wstring& path, const std::string& text) {
    UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    BOOL ok =
        ::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    return ok && written == text.size();
}

inline bool ReadFileUtf8(const std::wstring& path, std::string& text) {
    UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    text.clear();
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
        text.append(buffer, read);
    }
    return true;
}

/// The process arguments (argv[0] excluded), split by the system's usual rules.
inline std::vector<std::wstring> Arguments() {
    int count = 0;
    LPWSTR* items = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::wstring> out;
    for (int i = 1; i < count; ++i) out.emplace_back(items[i]);
    ::LocalFree(items);
    return out;
}

}  // namespace tool
