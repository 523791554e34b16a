// fileinfo <exe>: prints one JSON object with what Windows reads from the file:
//   {"file_version": "1.2.3.4", "product_version": "...", "strings": {"ProductName": ...},
//    "icon_groups": N, "large": {"width": 32, "height": 32, "center": "rrggbb"}, "small": {...},
//    "sized": {"16": {...}, "48": {...}, "256": {...}}}
// The version block through GetFileVersionInfoW/VerQueryValueW (first translation), the icons
// through ExtractIconExW (the shell's two sizes) and PrivateExtractIconsW (one image of the
// first group per size), the centre pixel of each through GetDIBits.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "common/tool_util.h"

namespace {

std::string Hex(unsigned value, int digits) {
    const char table[] = "0123456789abcdef";
    std::string out;
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        out.push_back(table[(value >> shift) & 0xF]);
    return out;
}

std::string Version(DWORD high, DWORD low) {
    return std::to_string(HIWORD(high)) + "." + std::to_string(LOWORD(high)) + "." +
           std::to_string(HIWORD(low)) + "." + std::to_string(LOWORD(low));
}

std::string VersionJson(const std::wstring& path) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    std::vector<BYTE> block(size);
    if (size == 0 || !::GetFileVersionInfoW(path.c_str(), 0, size, block.data())) {
        return "\"version_error\": " + std::to_string(::GetLastError());
    }
    std::string json;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed) {
        json += "\"file_version\": \"" + Version(fixed->dwFileVersionMS, fixed->dwFileVersionLS) +
                "\", \"product_version\": \"" +
                Version(fixed->dwProductVersionMS, fixed->dwProductVersionLS) + "\", ";
    }
    WORD* translation = nullptr;
    if (!::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                          reinterpret_cast<void**>(&translation), &length) ||
        length < 4) {
        return json + "\"strings\": {}";
    }
    const std::wstring table =
        tool::Widen("\\StringFileInfo\\" + Hex(translation[0], 4) + Hex(translation[1], 4) + "\\");
    json += "\"strings\": {";
    const wchar_t* keys[] = {L"ProductName",      L"FileDescription", L"CompanyName",
                             L"LegalCopyright",   L"FileVersion",     L"ProductVersion",
                             L"OriginalFilename", L"InternalName"};
    bool first = true;
    for (const wchar_t* key : keys) {
        wchar_t* value = nullptr;
        if (!::VerQueryValueW(block.data(), (table + key).c_str(), reinterpret_cast<void**>(&value),
                              &length) ||
            !value) {
            continue;
        }
        json +=
            std::string(first ? "" : ", ") + tool::JsonString(key) + ": " + tool::JsonString(value);
        first = false;
    }
    return json + "}";
}

std::string IconJson(HICON icon) {
    ICONINFO info{};
    if (!icon || !::GetIconInfo(icon, &info)) return "null";
    UniqueGdiObject color(info.hbmColor);
    UniqueGdiObject mask(info.hbmMask);
    BITMAP bitmap{};
    if (!color || !::GetObjectW(color.get(), sizeof(bitmap), &bitmap)) return "null";
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof(format.bmiHeader);
    format.bmiHeader.biWidth = bitmap.bmWidth;
    format.bmiHeader.biHeight = -bitmap.bmHeight;  // top-down rows
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    std::vector<DWORD> pixels(static_cast<size_t>(bitmap.bmWidth) * bitmap.bmHeight);
    UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
    std::string center = "null";
    if (::GetDIBits(dc.get(), static_cast<HBITMAP>(color.get()), 0, bitmap.bmHeight, pixels.data(),
                    &format, DIB_RGB_COLORS)) {
        center =
            "\"" +
            Hex(pixels[(bitmap.bmHeight / 2) * bitmap.bmWidth + bitmap.bmWidth / 2] & 0xFFFFFF, 6) +
            "\"";
    }
    return "{\"width\": " + std::to_string(bitmap.bmWidth) +
           ", \"height\": " + std::to_string(bitmap.bmHeight) + ", \"center\": " + center + "}";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        tool::WriteErr("usage: fileinfo <exe>\n");
        return 2;
    }
    const std::wstring path = argv[1];
    const UINT groups = ::ExtractIconExW(path.c_str(), -1, nullptr, nullptr, 0);
    UniqueIcon large;
    UniqueIcon small;
    HICON extracted[2] = {nullptr, nullptr};
    ::ExtractIconExW(path.c_str(), 0, &extracted[0], &extracted[1], 1);
    large.reset(extracted[0]);
    small.reset(extracted[1]);
    std::string sized;
    for (int size : {16, 48, 256}) {
        HICON icon = nullptr;
        UINT id = 0;
        ::PrivateExtractIconsW(path.c_str(), 0, size, size, &icon, &id, 1, LR_DEFAULTCOLOR);
        UniqueIcon owned(icon);
        sized += std::string(sized.empty() ? "" : ", ") + "\"" + std::to_string(size) +
                 "\": " + IconJson(owned.get());
    }
    tool::WriteOut("{" + VersionJson(path) + ", \"icon_groups\": " + std::to_string(groups) +
                   ", \"large\": " + IconJson(large.get()) +
                   ", \"small\": " + IconJson(small.get()) + ", \"sized\": {" + sized + "}}\n");
    return 0;
}
