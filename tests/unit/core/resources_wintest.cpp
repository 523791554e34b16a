// The shipped executables carry the message table in the languages of their build:
// English (United Kingdom), German, French and Dutch in the 64-bit one, English only in
// the 32-bit one.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "config/configuration_win32.h"
#include "core/resources_win32.h"
#include "core/unique_handle_win32.h"
#include "resources/resource_ids.h"

namespace {
const UINT kMessageIds[] = {202, 203, 206, 207, 208, 209, 210, 211, 212, 213, 214, 215, 216,
                            217, 218, 219, 220, 221, 222, 225, 226, 227, 228, 229, 230};

// The string `id` of exactly `language` (no fallback), empty when the block is missing.
std::wstring StringIn(HMODULE module, UINT id, LANGID language) {
    HRSRC found = ::FindResourceExW(module, RT_STRING, MAKEINTRESOURCEW(id / 16 + 1), language);
    if (!found) return {};
    HGLOBAL loaded = ::LoadResource(module, found);
    const auto* entry = static_cast<const WCHAR*>(::LockResource(loaded));
    const WCHAR* end = entry + ::SizeofResource(module, found) / sizeof(WCHAR);
    for (UINT index = 0; index < id % 16 && entry < end; ++index) entry += 1 + *entry;
    if (entry >= end || entry + 1 + *entry > end) return {};
    return std::wstring(entry + 1, *entry);
}

std::wstring ShippedExecutable() {
    std::wstring self;
    DWORD error = 0;
    if (!QueryModulePath(self, error)) return {};
    std::wstring testsFolder = self.substr(0, self.rfind(L'\\'));
    std::wstring buildFolder = testsFolder.substr(0, testsFolder.rfind(L'\\'));
    return buildFolder + (sizeof(void*) == 8 ? L"\\vmboot64.exe" : L"\\vmboot32.exe");
}
}  // namespace

TEST(ShippedResources, MessageTableLanguagesMatchTheBuild) {
    std::wstring path = ShippedExecutable();
    UniqueHModule module(::LoadLibraryExW(
        path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_TRUE(module) << "cannot open " << std::string(path.begin(), path.end());
    // A data-file handle has flag bits set; the resource functions accept it as it is.
    HMODULE handle = module.get();

    const LANGID english = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK);
    const LANGID others[] = {MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN),
                             MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH),
                             MAKELANGID(LANG_DUTCH, SUBLANG_DUTCH)};
    const bool is64 = sizeof(void*) == 8;
    for (UINT id : kMessageIds) {
        EXPECT_FALSE(StringIn(handle, id, english).empty()) << id;
        for (LANGID language : others) {
            EXPECT_EQ(StringIn(handle, id, language).empty(), !is64)
                << id << " in language " << language;
        }
    }
    EXPECT_EQ(StringIn(handle, IDS_NO_MAIN_CLASS, english),
              L"Main class was not specified in INI file.");
    if (is64) {
        EXPECT_EQ(StringIn(handle, IDS_NO_MAIN_CLASS, others[0]),
                  L"Main class in der INI-Datei nicht spezifiziert.");
        EXPECT_EQ(StringIn(handle, IDS_WINDOWS_ERROR, others[1]),
                  L"Exception Windows: %s (num err = %d).\n");
        EXPECT_EQ(StringIn(handle, IDS_JNI_REASON_EINVAL, others[2]), L"ongeldige argumenten");
    }
}

TEST(ShippedResources, UnrepresentablePathMessageInEveryLanguageOfTheBuild) {
    std::wstring path = ShippedExecutable();
    UniqueHModule module(::LoadLibraryExW(
        path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_TRUE(module);
    const LANGID languages[] = {MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK),
                                MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN),
                                MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH),
                                MAKELANGID(LANG_DUTCH, SUBLANG_DUTCH)};
    const bool is64 = sizeof(void*) == 8;
    for (LANGID language : languages) {
        std::wstring text = StringIn(module.get(), IDS_PATH_NOT_REPRESENTABLE, language);
        bool expected = is64 || language == languages[0];
        EXPECT_EQ(!text.empty(), expected) << language;
        // Exactly one place for the path.
        if (!expected) continue;
        EXPECT_NE(text.find(L"%s"), std::wstring::npos) << language;
        EXPECT_EQ(text.find(L"%s"), text.rfind(L"%s")) << language;
    }
}

// The Java program runs on the launcher's threads: choosing the messages' language must not
// depend on, or change, the thread locale (JNI code reads it, and CP_THREAD_ACP with it).
TEST(MessageLanguage, FollowsTheSystemAndLeavesTheThreadLocaleAlone) {
    const LCID saved = ::GetThreadLocale();
    const LANGID system = LANGIDFROMLCID(::GetSystemDefaultLCID());
    // A thread locale of another language than the system's.
    const LANGID other = PRIMARYLANGID(system) == LANG_DUTCH
                             ? MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN)
                             : MAKELANGID(LANG_DUTCH, SUBLANG_DUTCH);
    ASSERT_TRUE(::SetThreadLocale(MAKELCID(other, SORT_DEFAULT)));
    SetMessageLocale(0);
    EXPECT_EQ(MessageLocale(), ::GetSystemDefaultLCID());
    EXPECT_NE(ResourceLanguage(), other);
    SetMessageLocale(MAKELCID(MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH_BELGIAN), SORT_DEFAULT));
    EXPECT_EQ(ResourceLanguage(), MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH));
    EXPECT_EQ(LoadResourceText(IDS_NO_MAIN_CLASS),
              sizeof(void*) == 8 ? L"Classe principale non sp\u00e9cifi\u00e9e dans le fichier INI."
                                 : L"Main class was not specified in INI file.");
    EXPECT_EQ(::GetThreadLocale(), MAKELCID(other, SORT_DEFAULT));
    SetMessageLocale(0);
    ::SetThreadLocale(saved);
}
