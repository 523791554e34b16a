#pragma once

// Test support for the Win32 layer tests: a fresh folder under %TEMP% that is removed with
// everything in it (long paths included) when the test ends.

#include <windows.h>

#include <string>
#include <string_view>

#include "core/unique_handle_win32.h"

namespace test_support {

inline std::wstring LongForm(const std::wstring& path) {
    return path.compare(0, 4, L"\\\\?\\") == 0 ? path : L"\\\\?\\" + path;
}

inline void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW data{};
    UniqueFindHandle find(::FindFirstFileW(LongForm(folder + L"\\*").c_str(), &data));
    if (find) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring child = folder + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                ::DeleteFileW(LongForm(child).c_str());
            }
        } while (::FindNextFileW(find.get(), &data));
    }
    find.reset();
    ::RemoveDirectoryW(LongForm(folder).c_str());
}

/// Writes bytes to a file, replacing it.
inline bool WriteBytes(const std::wstring& path, std::string_view bytes) {
    UniqueFileHandle file(::CreateFileW(LongForm(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    return ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                       nullptr) &&
           written == bytes.size();
}

/// Writes UTF-16LE text with a byte-order mark, the form the profile functions read as Unicode.
inline bool WriteUtf16(const std::wstring& path, std::wstring_view text) {
    std::string bytes = "\xFF\xFE";
    for (wchar_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>((c >> 8) & 0xFF);
    }
    return WriteBytes(path, bytes);
}

/// The whole file's bytes; empty when it cannot be read.
inline std::string ReadBytes(const std::wstring& path) {
    UniqueFileHandle file(::CreateFileW(LongForm(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return {};
    std::string bytes;
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
        bytes.append(buffer, read);
    }
    return bytes;
}

inline bool IsFile(const std::wstring& path) {
    DWORD attributes = ::GetFileAttributesW(LongForm(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

inline bool IsFolder(const std::wstring& path) {
    DWORD attributes = ::GetFileAttributesW(LongForm(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

class TempFolder {
  public:
    TempFolder() {
        wchar_t temp[MAX_PATH + 1] = {};
        ::GetTempPathW(MAX_PATH + 1, temp);
        std::wstring base = temp;
        if (!base.empty() && base.back() == L'\\') base.pop_back();
        for (unsigned attempt = 0;; ++attempt) {
            path_ = base + L"\\vmboot-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                    std::to_wstring(::GetTickCount()) + L"-" + std::to_wstring(attempt);
            if (::CreateDirectoryW(path_.c_str(), nullptr)) break;
        }
    }
    ~TempFolder() { RemoveTree(path_); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& Path() const { return path_; }
    std::wstring operator/(std::wstring_view name) const {
        return path_ + L"\\" + std::wstring(name);
    }

  private:
    std::wstring path_;
};

/// Sets an environment variable for the scope and restores the previous state.
class ScopedEnvironmentVariable {
  public:
    ScopedEnvironmentVariable(const wchar_t* name, const wchar_t* value) : name_(name) {
        DWORD needed = ::GetEnvironmentVariableW(name, nullptr, 0);
        if (needed > 0) {
            previous_.assign(needed, L'\0');
            DWORD length = ::GetEnvironmentVariableW(name, previous_.data(), needed);
            previous_.resize(length);
            hadValue_ = true;
        }
        ::SetEnvironmentVariableW(name, value);
    }
    ~ScopedEnvironmentVariable() {
        ::SetEnvironmentVariableW(name_.c_str(), hadValue_ ? previous_.c_str() : nullptr);
    }
    ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
    ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

  private:
    std::wstring name_;
    std::wstring previous_;
    bool hadValue_ = false;
};

}  // namespace test_support
