#include "config/settings_store_win32.h"

#include <windows.h>

#include "config/utf8_settings.h"
#include "core/text_win32.h"
#include "core/unique_handle_win32.h"
#include "core/path_utils.h"

namespace {

// Larger files are no settings text; the profile functions get them.
constexpr ULONGLONG kMaximumUtf8File = 16u * 1024 * 1024;

bool ReadWholeFile(const std::wstring& path, std::string& bytes) {
    UniqueFileHandle file(::CreateFileW(ToLongPathForm(path).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || static_cast<ULONGLONG>(size.QuadPart) > kMaximumUtf8File) {
        return false;
    }
    bytes.assign(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes.empty() &&
        !::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) {
        return false;
    }
    bytes.resize(read);
    return true;
}

// Writes `bytes` beside `path` and moves them over it, so an interrupted write loses nothing.
bool ReplaceFileContents(const std::wstring& path, const std::string& bytes) {
    std::wstring temporary = path + L".vmboot-new";
    {
        UniqueFileHandle file(::CreateFileW(ToLongPathForm(temporary).c_str(), GENERIC_WRITE, 0,
                                            nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                            nullptr));
        if (!file) return false;
        DWORD written = 0;
        if (!::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                         nullptr) ||
            written != bytes.size() || !::FlushFileBuffers(file.get())) {
            file.reset();
            ::DeleteFileW(ToLongPathForm(temporary).c_str());
            return false;
        }
    }
    if (!::MoveFileExW(ToLongPathForm(temporary).c_str(), ToLongPathForm(path).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ::DeleteFileW(ToLongPathForm(temporary).c_str());
        return false;
    }
    return true;
}

bool FitsAnsiCodePage(std::wstring_view text) {
    std::string ignored;
    return ToCodePageExact(CP_ACP, text, ignored);
}

}  // namespace

struct IniSettingsStore::Utf8Cache {
    ULONGLONG Size = 0;
    FILETIME Written{};
    bool Utf8 = false;
    SettingsDocument Document;
};

const SettingsDocument* IniSettingsStore::Utf8Document() {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(ToLongPathForm(path_).c_str(), GetFileExInfoStandard, &data)) {
        utf8_.reset();
        return nullptr;
    }
    ULONGLONG size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    if (utf8_ && utf8_->Size == size &&
        ::CompareFileTime(&utf8_->Written, &data.ftLastWriteTime) == 0) {
        return utf8_->Utf8 ? &utf8_->Document : nullptr;
    }
    std::shared_ptr<Utf8Cache> cache(new Utf8Cache());
    cache->Size = size;
    cache->Written = data.ftLastWriteTime;
    std::string bytes;
    if (size <= kMaximumUtf8File && ReadWholeFile(path_, bytes) && IsUtf8SettingsFile(bytes)) {
        cache->Utf8 = true;
        ParseUtf8Settings(cache->Document, bytes);
    }
    utf8_ = std::move(cache);
    return utf8_->Utf8 ? &utf8_->Document : nullptr;
}

bool IniSettingsStore::WriteUtf8Value(const std::wstring& section, const std::wstring& key,
                                      const std::wstring& value, bool& handled) {
    handled = false;
    std::string bytes;
    if (!ReadWholeFile(path_, bytes) || !IsUtf8SettingsFile(bytes)) return false;
    handled = true;
    bool bom = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
    std::wstring text = DecodeUtf8Text(std::string_view(bytes).substr(bom ? 3 : 0));
    std::string updated = (bom ? std::string("\xEF\xBB\xBF") : std::string()) +
                          EncodeUtf8Text(RewriteSettingsValue(text, section, key, value));
    utf8_.reset();
    return ReplaceFileContents(path_, updated);
}

bool IniSettingsStore::WriteUnicodeValue(const std::wstring& section, const std::wstring& key,
                                         const std::wstring& value, bool& handled) {
    handled = false;
    if (FitsAnsiCodePage(section) && FitsAnsiCodePage(key) && FitsAnsiCodePage(value)) {
        return false;
    }
    std::string bytes;
    if (!ReadWholeFile(path_, bytes)) {
        // Only a file that is not there yet may be made anew.
        if (::GetFileAttributesW(ToLongPathForm(path_).c_str()) != INVALID_FILE_ATTRIBUTES) {
            return false;
        }
        bytes.clear();
    }
    // A UTF-16 file keeps every character: the profile functions write it as it is.
    if (bytes.compare(0, 2, "\xFF\xFE") == 0) return false;
    handled = true;
    // The profile functions would write "?" for what the ANSI code page lacks, in an ANSI
    // file and in an empty one alike: the file becomes UTF-16 with all its text.
    std::wstring text = FromCodePage(CP_ACP, bytes);
    text = RewriteSettingsValue(text, section, key, value);
    std::string updated("\xFF\xFE");
    for (wchar_t c : text) {
        const auto unit = static_cast<std::uint16_t>(c);
        updated += static_cast<char>(unit & 0xFF);
        updated += static_cast<char>(unit >> 8);
    }
    utf8_.reset();
    return ReplaceFileContents(path_, updated);
}

std::wstring IniSettingsStore::ReadFileValue(const std::wstring& section, const std::wstring& key) {
    if (const SettingsDocument* document = Utf8Document()) {
        return FindProfileValue(*document, section, key);
    }
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

bool IniSettingsStore::WriteString(const std::wstring& section, const std::wstring& key,
                                   const std::wstring& value) {
    bool handled = false;
    bool written = WriteUtf8Value(section, key, value, handled);
    if (handled) return written;
    written = WriteUnicodeValue(section, key, value, handled);
    if (handled) return written;
    utf8_.reset();
    return ::WritePrivateProfileStringW(section.c_str(), key.c_str(), value.c_str(),
                                        path_.c_str()) != FALSE;
}

LayeredValue LayeredSettingsStore::GetStringWithSource(const std::wstring& section,
                                                       const std::wstring& key) {
    LayerReader file = [this](const std::wstring& s, const std::wstring& k) {
        return ReadFileValue(s, k);
    };
    return ReadLayered(file, section, key);
}

void LayeredSettingsStore::GetString(const std::wstring& section, const std::wstring& key,
                                     std::wstring& out) {
    out = GetStringWithSource(section, key).Value;
}
