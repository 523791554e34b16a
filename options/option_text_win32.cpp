#include "options/option_text_win32.h"

#include "core/text_win32.h"
#include "core/path_utils.h"

bool Win32OptionTextCodec::Encode(std::wstring_view text, std::string& out) const {
    return ToCodePageExact(codePage_, text, out);
}

OptionTextCodec::ShortName Win32OptionTextCodec::ShortForm(const std::wstring& path) const {
    ShortName result;
    std::wstring query = ToLongPathForm(path);
    bool prefixed = query.size() != path.size();
    std::wstring shortPath;
    bool ok = FillGrowingBuffer(shortPath, MAX_PATH, [&](wchar_t* buffer, DWORD capacity) -> DWORD {
        DWORD length = ::GetShortPathNameW(query.c_str(), buffer, capacity);
        if (length == 0) return kBufferFailed;
        return length >= capacity ? kGrowBuffer : length;
    });
    if (!ok) {
        DWORD error = ::GetLastError();
        result.Exists = error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND &&
                        error != ERROR_INVALID_NAME;
        return result;
    }
    result.Exists = true;
    // The prefix this call added is not part of the option's path.
    if (prefixed && HasLongPathPrefix(shortPath) && !HasLongPathPrefix(path)) {
        if (shortPath.compare(0, 8, L"\\\\?\\UNC\\") == 0) {
            shortPath.replace(0, 8, L"\\\\");
        } else {
            shortPath.erase(0, 4);
        }
    }
    result.Path = std::move(shortPath);
    return result;
}
