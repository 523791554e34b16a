#include "classpath.h"

#include <windows.h>

#include <cstdint>
#include <cstring>

#include "vm.h"

namespace standin {
namespace {

uint32_t U32(const std::string& d, size_t o) {
    if (o + 4 > d.size()) return 0;
    const auto* p = reinterpret_cast<const unsigned char*>(d.data() + o);
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t U16At(const std::string& d, size_t o) {
    if (o + 2 > d.size()) return 0;
    const auto* p = reinterpret_cast<const unsigned char*>(d.data() + o);
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

bool ReadFileBytes(const std::wstring& path, std::string& data) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    data.clear();
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got) data.append(buffer, got);
    CloseHandle(file);
    return true;
}

}  // namespace

std::vector<std::string> SplitClassPath(const std::string& value, bool present) {
    std::vector<std::string> out;
    if (!present) return {"."};
    size_t start = 0;
    for (;;) {
        size_t end = value.find(';', start);
        std::string item =
            value.substr(start, end == std::string::npos ? std::string::npos : end - start);
        out.push_back(item.empty() ? "." : item);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return out;
}

bool ReadStoredZipEntry(const std::string& zip, const std::string& entry, std::string& bytes,
                        std::string& error) {
    // End of central directory: the last "PK\5\6" within the final 64 KiB + 22 bytes.
    if (zip.size() < 22) return false;
    size_t lowest = zip.size() > 65557 ? zip.size() - 65557 : 0;
    size_t eocd = std::string::npos;
    for (size_t i = zip.size() - 22 + 1; i-- > lowest;) {
        if (U32(zip, i) == 0x06054b50) {
            eocd = i;
            break;
        }
    }
    if (eocd == std::string::npos) return false;
    uint16_t count = U16At(zip, eocd + 10);
    size_t pos = U32(zip, eocd + 16);
    for (uint16_t n = 0; n < count; ++n) {
        if (U32(zip, pos) != 0x02014b50) return false;
        uint16_t method = U16At(zip, pos + 10);
        uint32_t compressed = U32(zip, pos + 20);
        uint32_t size = U32(zip, pos + 24);
        uint16_t nameLength = U16At(zip, pos + 28);
        uint16_t extraLength = U16At(zip, pos + 30);
        uint16_t commentLength = U16At(zip, pos + 32);
        uint32_t local = U32(zip, pos + 42);
        if (pos + 46 + nameLength > zip.size()) return false;
        std::string name = zip.substr(pos + 46, nameLength);
        if (name == entry) {
            if (method != 0) {
                error = "jar entry " + entry +
                        " is compressed; the stand-in reads only stored entries (jar -0)";
                return false;
            }
            if (U32(zip, local) != 0x04034b50) return false;
            size_t data = local + 30 + U16At(zip, local + 26) + U16At(zip, local + 28);
            if (data + size > zip.size() || compressed != size) return false;
            bytes = zip.substr(data, size);
            return true;
        }
        pos += 46 + nameLength + extraLength + commentLength;
    }
    return false;
}

// The letter case of `entry` below `folder` as stored on disk.
std::string SpelledOnDisk(const std::wstring& folder, const std::string& entry) {
    std::wstring base = folder;
    std::string spelled;
    size_t start = 0;
    while (start <= entry.size()) {
        size_t end = entry.find('/', start);
        std::string part = entry.substr(start, end == std::string::npos ? end : end - start);
        std::wstring path =
            base + (base.empty() || base.back() == L'\\' ? L"" : L"\\") + WideFromUtf8(part);
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW(path.c_str(), &data);
        std::string actual = part;
        if (find != INVALID_HANDLE_VALUE) {
            actual = Narrow(data.cFileName);
            FindClose(find);
        }
        spelled += (spelled.empty() ? "" : "/") + actual;
        base = path;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return spelled;
}

bool FindOnClassPath(const std::vector<std::string>& classPath, const std::string& entry,
                     std::string& bytes, std::string& where, std::string& spelled,
                     std::string& error) {
    spelled = entry;
    for (const std::string& element : classPath) {
        std::wstring path = WideFromUtf8(element);
        DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) continue;
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            std::wstring file = path;
            if (!file.empty() && file.back() != L'\\' && file.back() != L'/') file += L'\\';
            for (wchar_t c : WideFromUtf8(entry)) file += c == L'/' ? L'\\' : c;
            if (ReadFileBytes(file, bytes)) {
                where = Narrow(file);
                spelled = SpelledOnDisk(path, entry);
                return true;
            }
        } else {
            std::string zip;
            if (!ReadFileBytes(path, zip)) continue;
            if (ReadStoredZipEntry(zip, entry, bytes, error)) {
                where = element + "!/" + entry;
                return true;
            }
            if (!error.empty()) return false;
        }
    }
    return false;
}

}  // namespace standin
