#include "config/settings_store_win32.h"

#include <windows.h>

#include "core/text_win32.h"
#include "core/unique_handle_win32.h"

std::uint32_t IniSettingsStore::ReadHeader(std::uint32_t& value) {
    value = 0;
    UniqueFileHandle file(::CreateFileW(path_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return ::GetLastError();
    unsigned char bytes[4] = {};
    DWORD read = 0;
    if (!::ReadFile(file.get(), bytes, sizeof(bytes), &read, nullptr)) return ::GetLastError();
    // A file shorter than the header has no header; do not report a partial value as read.
    if (read != sizeof(bytes)) return ERROR_HANDLE_EOF;
    value = static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
            (static_cast<std::uint32_t>(bytes[2]) << 16) |
            (static_cast<std::uint32_t>(bytes[3]) << 24);
    return 0;
}

std::wstring IniSettingsStore::ReadFileValue(const std::wstring& section, const std::wstring& key) {
    std::wstring value;
    // A result of capacity - 1 may be a cut value: read again with a larger buffer.
    FillGrowingBuffer(value, 256, [&](wchar_t* buffer, DWORD capacity) -> DWORD {
        DWORD length = ::GetPrivateProfileStringW(section.c_str(), key.c_str(), L"", buffer,
                                                  capacity, path_.c_str());
        return length + 1 >= capacity ? kGrowBuffer : length;
    });
    return value;
}

void IniSettingsStore::GetString(const std::wstring& section, const std::wstring& key,
                                 std::wstring& out) {
    out = ReadFileValue(section, key);
}

void IniSettingsStore::GetSectionNames(std::vector<std::wstring>& names) {
    names.clear();
    std::wstring buffer;
    // Names come as a double-null-terminated list; capacity - 2 means it may be cut.
    FillGrowingBuffer(buffer, 256, [&](wchar_t* data, DWORD capacity) -> DWORD {
        DWORD length = ::GetPrivateProfileSectionNamesW(data, capacity, path_.c_str());
        if (length + 2 >= capacity) return kGrowBuffer;
        // Keep the terminating null of the last name in the result.
        return length + 1;
    });
    std::wstring name;
    for (wchar_t c : buffer) {
        if (c == L'\0') {
            if (!name.empty()) names.push_back(name);
            name.clear();
        } else {
            name += c;
        }
    }
    if (!name.empty()) names.push_back(name);
}

bool IniSettingsStore::WriteString(const std::wstring& section, const std::wstring& key,
                                   const std::wstring& value) {
    return ::WritePrivateProfileStringW(section.c_str(), key.c_str(), value.c_str(),
                                        path_.c_str()) != FALSE;
}

bool IniSettingsStore::DeleteStoreFile() { return ::DeleteFileW(path_.c_str()) != FALSE; }

LayeredSettingsStore::LayeredSettingsStore(std::wstring path, std::wstring_view settingsText)
    : IniSettingsStore(std::move(path)) {
    ParseSettingsText(Document(), settingsText);
}

LayeredValue LayeredSettingsStore::GetStringWithSource(const std::wstring& section,
                                                       const std::wstring& key) {
    LayerReader document = [this](const std::wstring& s, const std::wstring& k) {
        std::wstring value;
        SettingsDocument::GetString(s, k, value);
        return value;
    };
    LayerReader file = [this](const std::wstring& s, const std::wstring& k) {
        return ReadFileValue(s, k);
    };
    return ReadLayered(document, file, section, key);
}

void LayeredSettingsStore::GetString(const std::wstring& section, const std::wstring& key,
                                     std::wstring& out) {
    out = GetStringWithSource(section, key).Value;
}
