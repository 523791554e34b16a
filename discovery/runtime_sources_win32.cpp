#include "discovery/runtime_sources_win32.h"

#include "core/text_win32.h"
#include "core/pe_header.h"
#include "core/path_utils.h"
#include "core/path_utils_win32.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

std::vector<std::pair<std::wstring, std::wstring>> AlternateViewFolders();

REGSAM RegistryViewAccess(RegistryView view) {
    if (view != RegistryView::Alternate) return KEY_READ;
#ifdef _WIN64
    return KEY_READ | KEY_WOW64_32KEY;
#else
    return KEY_READ | KEY_WOW64_64KEY;
#endif
}

RegistryKeyReader::RegistryKeyReader(const std::wstring& path, RegistryView view) : view_(view) {
    HKEY key = nullptr;
    HKEY hive = view == RegistryView::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    if (::RegOpenKeyExW(hive, path.c_str(), 0, RegistryViewAccess(view), &key) ==
        ERROR_SUCCESS) {
        key_.reset(key);
    }
}

std::vector<std::wstring> RegistryKeyReader::SubkeyNames() const {
    std::vector<std::wstring> names;
    if (!key_) return names;
    // Registry key names have at most 255 characters.
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(std::size(name));
        if (::RegEnumKeyExW(key_.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        names.emplace_back(name, length);
    }
    return names;
}

bool RegistryKeyReader::ReadText(const std::wstring& name, std::wstring& text) const {
    text.clear();
    if (!key_) return false;
    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExW(key_.get(), name.c_str(), nullptr, &type, nullptr, &size) !=
        ERROR_SUCCESS) {
        return false;
    }
    // The value may change between the two calls; a few retries cover a writer at work.
    std::vector<BYTE> data;
    LSTATUS status = ERROR_MORE_DATA;
    for (int attempt = 0; attempt < 4 && status == ERROR_MORE_DATA; ++attempt) {
        data.assign(size, 0);
        status = ::RegQueryValueExW(key_.get(), name.c_str(), nullptr, &type,
                                    data.empty() ? nullptr : data.data(), &size);
    }
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
    // Only the bytes the call reported are data; an odd last byte is half a character.
    const std::size_t units = std::min<std::size_t>(size, data.size()) / sizeof(wchar_t);
    std::wstring value(units, L'\0');
    if (units) std::memcpy(value.data(), data.data(), units * sizeof(wchar_t));
    value.resize(std::wcslen(value.c_str()));  // ends at the first NUL or the end of the data
    if (type == REG_EXPAND_SZ && !value.empty()) {
        if (view_ == RegistryView::Alternate) value = RenameViewFolders(value, AlternateViewFolders());
        std::wstring expanded;
        bool ok = FillGrowingBuffer(expanded, 260, [&](wchar_t* buffer, DWORD capacity) -> DWORD {
            DWORD needed = ::ExpandEnvironmentStringsW(value.c_str(), buffer, capacity);
            if (needed == 0) return kBufferFailed;
            // The count includes the terminating NUL.
            return needed <= capacity ? needed - 1 : kGrowBuffer;
        });
        if (!ok) return false;
        value = std::move(expanded);
    }
    text = std::move(value);
    return true;
}

std::vector<std::wstring> Win32RegistryAccess::SubkeyNames(const std::wstring& path,
                                                           RegistryView view) {
    return RegistryKeyReader(path, view).SubkeyNames();
}

bool Win32RegistryAccess::ReadText(const std::wstring& path, const std::wstring& name,
                                   RegistryView view, std::wstring& text) {
    return RegistryKeyReader(path, view).ReadText(name, text);
}

bool Win32FileProbe::Exists(const std::wstring& path) { return PathExists(path); }

bool Win32FileProbe::FolderExists(const std::wstring& folder) {
    std::wstring path = folder;
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    const DWORD attributes = ::GetFileAttributesW(ToLongPathForm(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32FileProbe::ReadSmallFile(const std::wstring& path, std::string& bytes) {
    bytes.clear();
    UniqueFileHandle file(::CreateFileW(ToLongPathForm(path).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    // A release file is a few hundred bytes; whatever is larger is not one.
    char buffer[16384];
    DWORD read = 0;
    if (!::ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr)) return false;
    bytes.assign(buffer, read);
    return true;
}

std::optional<std::uint16_t> Win32FileProbe::ImageMachine(const std::wstring& path) {
    return ReadImageMachine(path);
}

std::vector<std::pair<std::wstring, std::wstring>> AlternateViewFolders() {
    // The 64-bit build reads the 32-bit view, whose programs live under the x86 folders;
    // the 32-bit build reads the 64-bit view, whose folders it sees only as the *W6432
    // variables. A name this process does not define is left alone.
#ifdef _WIN64
    const std::pair<const wchar_t*, const wchar_t*> names[] = {
        {L"ProgramFiles", L"ProgramFiles(x86)"},
        {L"CommonProgramFiles", L"CommonProgramFiles(x86)"}};
#else
    const std::pair<const wchar_t*, const wchar_t*> names[] = {
        {L"ProgramFiles", L"ProgramW6432"}, {L"CommonProgramFiles", L"CommonProgramW6432"}};
#endif
    std::vector<std::pair<std::wstring, std::wstring>> renames;
    for (const auto& [from, to] : names) {
        if (!EnvironmentVariable(to).empty()) renames.emplace_back(from, to);
    }
    return renames;
}

std::optional<std::uint16_t> ReadImageMachine(const std::wstring& path) {
    UniqueFileHandle file(::CreateFileW(ToLongPathForm(path).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::nullopt;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0 ||
        static_cast<unsigned long long>(size.QuadPart) > SIZE_MAX) {
        return std::nullopt;
    }
    UniqueHandle mapping(::CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping) return std::nullopt;
    UniqueMappedView view(::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
    if (!view) return std::nullopt;
    // The header reader is bounded by the file size, so a truncated or damaged library can
    // only yield "not an image", never a read outside the view.
    return ReadPeMachine(static_cast<const std::uint8_t*>(view.get()),
                         static_cast<std::size_t>(size.QuadPart));
}
