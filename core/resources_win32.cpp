#include "core/resources_win32.h"

#include <atomic>

namespace {
constexpr LANGID kEnglishUk = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK);

HRSRC FindIn(LPCWSTR type, LPCWSTR name, LANGID language) {
    return ::FindResourceExW(::GetModuleHandleW(nullptr), type, name, language);
}

const void* LoadFound(HRSRC found, DWORD* size) {
    if (!found) return nullptr;
    HGLOBAL loaded = ::LoadResource(::GetModuleHandleW(nullptr), found);
    if (!loaded) return nullptr;
    if (size) *size = ::SizeofResource(::GetModuleHandleW(nullptr), found);
    return ::LockResource(loaded);
}
std::atomic<LCID> g_messageLocale{0};
}  // namespace

LCID MessageLocale() {
    LCID chosen = g_messageLocale.load();
    return chosen ? chosen : ::GetSystemDefaultLCID();
}

void SetMessageLocale(LCID locale) { g_messageLocale.store(locale); }

LANGID ResourceLanguage() {
    switch (PRIMARYLANGID(LANGIDFROMLCID(MessageLocale()))) {
        case LANG_GERMAN:
            return MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN);
        case LANG_FRENCH:
            return MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH);
        case LANG_DUTCH:
            return MAKELANGID(LANG_DUTCH, SUBLANG_DUTCH);
        default:
            return kEnglishUk;
    }
}

HRSRC FindLocalizedResource(LPCWSTR type, LPCWSTR name) {
    if (HRSRC found = FindIn(type, name, ResourceLanguage())) return found;
    if (HRSRC found = FindIn(type, name, kEnglishUk)) return found;
    return ::FindResourceW(::GetModuleHandleW(nullptr), name, type);
}

std::wstring LoadResourceText(UINT id) {
    // Strings live in blocks of sixteen, each entry a length followed by that many units.
    DWORD size = 0;
    auto* block = static_cast<const WCHAR*>(
        LoadFound(FindLocalizedResource(RT_STRING, MAKEINTRESOURCEW(id / 16 + 1)), &size));
    if (!block) return {};
    const WCHAR* end = block + size / sizeof(WCHAR);
    const WCHAR* entry = block;
    for (UINT index = 0; index < id % 16; ++index) {
        if (entry >= end) return {};
        entry += 1 + *entry;
    }
    if (entry >= end || entry + 1 + *entry > end) return {};
    return std::wstring(entry + 1, *entry);
}

const DLGTEMPLATE* LoadLocalizedDialog(UINT id) {
    return static_cast<const DLGTEMPLATE*>(
        LoadFound(FindLocalizedResource(RT_DIALOG, MAKEINTRESOURCEW(id)), nullptr));
}
