#include "core/path_utils_win32.h"

#include <cwchar>
#include <vector>

#include "core/text_win32.h"
#include "core/path_utils.h"

void FileFinder::Close() {
    handle_.reset();
    found_ = false;
}

bool FileFinder::FindFile(std::wstring_view path) {
    Close();
    if (path.size() > kMaximumPathLength) return false;
    std::wstring searched = ToLongPathForm(path);
    WIN32_FIND_DATAW data{};
    UniqueFindHandle handle(::FindFirstFileW(searched.c_str(), &data));
    if (!handle) return false;
    std::wstring fullPath;
    bool formed = FillGrowingBuffer(fullPath, MAX_PATH, [&](wchar_t* buffer, DWORD capacity) {
        DWORD length = ::GetFullPathNameW(searched.c_str(), capacity, buffer, nullptr);
        if (length == 0) return kBufferFailed;
        return length >= capacity ? kGrowBuffer : length;
    });
    if (!formed) {
        ::SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    handle_ = std::move(handle);
    data_ = data;
    found_ = true;
    return true;
}

std::wstring FullPathName(const std::wstring& path) {
    std::wstring full;
    FillGrowingBuffer(full, MAX_PATH, [&](wchar_t* buffer, DWORD capacity) -> DWORD {
        DWORD length = ::GetFullPathNameW(path.c_str(), capacity, buffer, nullptr);
        if (length == 0) return kBufferFailed;
        return length >= capacity ? kGrowBuffer : length;
    });
    return full.empty() ? path : full;
}

bool PathExists(std::wstring_view path) {
    FileFinder finder;
    return finder.FindFile(path);
}

bool RemoveDirectoryLong(const std::wstring& path) {
    if (path.size() < kClassicPathLimit || HasLongPathPrefix(path)) {
        return ::RemoveDirectoryW(path.c_str()) != FALSE;
    }
    return ::RemoveDirectoryW((L"\\\\?\\" + path).c_str()) != FALSE;
}

DWORD CreateParentFolders(const std::wstring& path) {
    bool absolute = path.size() > 1 && (path.compare(0, 2, L"\\\\") == 0 || path[1] == L':');
    if (absolute) {
        WIN32_FIND_DATAW data{};
        UniqueFindHandle existing(::FindFirstFileW(path.c_str(), &data));
        if (existing) return 0;
        if (::GetLastError() == 0) return 0;
    }
    bool network = IsUncPath(path);
    std::vector<std::wstring> components = SplitPathComponents(path);
    if (components.size() < 2) return 0;

    // An absolute path's first component is its root (drive, server or long-path prefix).
    // A relative path's first component is a folder to create as well, and a path that
    // starts with a single "\" hangs its folders off the current drive's root.
    std::size_t first = absolute ? 1 : 0;
    std::wstring built = absolute ? components[0] : std::wstring();
    bool rootedAtDrive = !absolute && !path.empty() && path[0] == L'\\';
    std::vector<bool> createdHere(components.size(), false);

    DWORD lastError = 0;
    for (std::size_t i = first; i + 1 < components.size(); ++i) {
        std::wstring candidate = (i == first && !absolute && !rootedAtDrive)
                                     ? components[i]
                                     : built + L"\\" + components[i];
        if (::CreateDirectoryW(candidate.c_str(), nullptr)) {
            createdHere[i] = true;
            lastError = 0;
        } else {
            lastError = ::GetLastError();
            if (lastError != ERROR_ALREADY_EXISTS && !network) {
                // Undo only a folder this call made; one that was there before stays.
                if (i > first && createdHere[i - 1]) RemoveDirectoryLong(built);
                break;
            }
        }
        built = std::move(candidate);
    }
    return lastError == ERROR_ALREADY_EXISTS ? 0 : lastError;
}

void ExpandEnvironment(std::wstring& text) {
    std::wstring expanded;
    DWORD initial = static_cast<DWORD>(text.size() < 128 ? 256 : text.size() * 2);
    bool ok = FillGrowingBuffer(expanded, initial, [&](wchar_t* buffer, DWORD capacity) {
        DWORD needed = ::ExpandEnvironmentStringsW(text.c_str(), buffer, capacity);
        if (needed == 0) return kBufferFailed;
        if (needed > capacity) return kGrowBuffer;
        return static_cast<DWORD>(::wcsnlen(buffer, capacity));
    });
    if (ok) text = std::move(expanded);
}

std::wstring EnvironmentVariable(const wchar_t* name) {
    std::wstring value;
    FillGrowingBuffer(value, MAX_PATH, [&](wchar_t* buffer, DWORD capacity) {
        return ::GetEnvironmentVariableW(name, buffer, capacity);
    });
    return value;
}
