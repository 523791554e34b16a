#include "check/packaging_win32.h"

#include <windows.h>

#include <algorithm>
#include <optional>
#include <string_view>

#include "check/class_file.h"
#include "check/init_config.h"
#include "check/jar_manifest.h"
#include "check/module_check.h"
#include "core/path_utils.h"
#include "core/path_utils_win32.h"
#include "core/text_win32.h"
#include "core/unique_handle_win32.h"

namespace {

/// A file's bytes mapped into memory, read-only; empty for a missing, empty or unreadable file.
class MappedFile {
  public:
    explicit MappedFile(const std::wstring& path) {
        file_.reset(::CreateFileW(ToLongPathForm(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        LARGE_INTEGER size{};
        // Jars and module images are far below this; the 32-bit build's address space is not.
        constexpr LONGLONG kLargest = 1LL << 30;
        if (!file_ || !::GetFileSizeEx(file_.get(), &size) || size.QuadPart <= 0 ||
            size.QuadPart > kLargest) {
            return;
        }
        mapping_.reset(::CreateFileMappingW(file_.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
        if (!mapping_) return;
        view_.reset(::MapViewOfFile(mapping_.get(), FILE_MAP_READ, 0, 0, 0));
        if (view_) size_ = static_cast<std::size_t>(size.QuadPart);
    }
    std::string_view Bytes() const {
        return view_ ? std::string_view(static_cast<const char*>(view_.get()), size_)
                     : std::string_view();
    }

  private:
    UniqueFileHandle file_;
    UniqueHandle mapping_;
    UniqueMappedView view_;
    std::size_t size_ = 0;
};

std::string Utf8(std::wstring_view text) {
    std::string out;
    ToCodePageExact(CP_UTF8, text, out);
    return out;
}

bool EndsWithIgnoringCase(std::wstring_view text, std::wstring_view end) {
    return text.size() >= end.size() &&
           ::CompareStringOrdinal(text.data() + text.size() - end.size(),
                                  static_cast<int>(end.size()), end.data(),
                                  static_cast<int>(end.size()), TRUE) == CSTR_EQUAL;
}

bool SameIgnoringCase(std::wstring_view a, std::wstring_view b) {
    return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                  static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

std::wstring CurrentFolder() {
    std::wstring folder;
    FillGrowingBuffer(folder, MAX_PATH, [](wchar_t* buffer, DWORD capacity) -> DWORD {
        DWORD length = ::GetCurrentDirectoryW(capacity, buffer);
        if (length == 0) return kBufferFailed;
        return length >= capacity ? kGrowBuffer : length;
    });
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    return folder;
}

/// The names of the files matching `pattern` (a folder and a wildcard), folders left out.
std::vector<std::wstring> FilesMatching(const std::wstring& pattern) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    UniqueFindHandle find(::FindFirstFileExW(ToLongPathForm(pattern).c_str(), FindExInfoBasic,
                                             &found, FindExSearchNameMatch, nullptr, 0));
    if (!find) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.emplace_back(found.cFileName);
    } while (::FindNextFileW(find.get(), &found));
    return names;
}

const ZipEntry* FindEntry(const std::vector<ZipEntry>& entries, std::string_view name) {
    for (const ZipEntry& entry : entries) {
        if (entry.name == name) return &entry;
    }
    return nullptr;
}

std::string Dotted(std::string_view internalName) {
    std::string name(internalName);
    std::replace(name.begin(), name.end(), '/', '.');
    return name;
}

/// Takes the splash image out of the jar into `folder`; fills the facts' splash fields.
void ExtractSplashImage(std::string_view zip, const std::vector<ZipEntry>& entries,
                        const std::string& image, const std::wstring& folder,
                        const std::string& folderAsNamed, InitFacts& facts) {
    const ZipEntry* entry = FindEntry(entries, image);
    std::string bytes;
    if (!entry || !ReadZipEntryInto(zip, *entry, 64u << 20, bytes)) {
        facts.splashNote = "not in the jar (or unreadable), so no splash screen is set";
        return;
    }
    std::string name = image.substr(image.rfind('/') + 1);
    std::wstring target = folder + FromUtf8(name);
    UniqueFileHandle file(::CreateFileW(ToLongPathForm(target).c_str(), GENERIC_WRITE, 0, nullptr,
                                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        DWORD error = ::GetLastError();
        if (error == ERROR_FILE_EXISTS) {
            facts.splashImage = folderAsNamed + name;
            facts.splashNote =
                "a file " + name + " is already beside the jar; it was kept as it is";
        } else {
            facts.splashNote = "could not be written beside the jar (Windows error " +
                               std::to_string(error) + "), so no splash screen is set";
        }
        return;
    }
    DWORD written = 0;
    if (!::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) ||
        written != bytes.size()) {
        DWORD error = ::GetLastError();
        file.reset();
        ::DeleteFileW(ToLongPathForm(target).c_str());
        facts.splashNote = "could not be written beside the jar (Windows error " +
                           std::to_string(error) + "), so no splash screen is set";
        return;
    }
    facts.splashImage = folderAsNamed + name;
}

}  // namespace

int InitConfigurationFromJar(const std::wstring& jar, std::string& output) {
    std::wstring path = FullPathName(jar);
    MappedFile file(path);
    std::string_view zip = file.Bytes();
    std::vector<ZipEntry> entries = ZipEntries(zip);
    if (entries.empty()) {
        output = "vmbootcheck: " + Utf8(jar) + " is not a jar file (or cannot be read)\n";
        return 2;
    }
    InitFacts facts;
    std::size_t slash = path.rfind(L'\\');
    std::wstring folder = path.substr(0, slash + 1);
    facts.jarName = Utf8(path.substr(slash + 1));
    // Named from the folder the launcher will sit in, the current one, when the jar is there
    // or below it; else absolutely.
    std::wstring current = CurrentFolder();
    facts.jarFolder = folder.size() >= current.size() &&
                              SameIgnoringCase(folder.substr(0, current.size()), current)
                          ? Utf8(folder.substr(current.size()))
                          : Utf8(folder);
    std::vector<std::wstring> others = FilesMatching(folder + L"*.jar");
    std::sort(others.begin(), others.end(), [](const std::wstring& a, const std::wstring& b) {
        return ::CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_LESS_THAN;
    });
    for (const std::wstring& name : others) {
        if (EndsWithIgnoringCase(name, L".jar") &&
            !SameIgnoringCase(name, path.substr(slash + 1))) {
            facts.folderJars.push_back(Utf8(name));
        }
    }

    if (const ZipEntry* manifest = FindEntry(entries, "META-INF/MANIFEST.MF")) {
        if (auto text = ReadZipEntry(zip, *manifest, 1u << 20))
            facts.manifest = ManifestMainAttributes(*text);
    }
    ClassFileReader reader;
    std::string bytes;
    if (const ZipEntry* descriptor = FindEntry(entries, "module-info.class")) {
        if (ReadZipEntryInto(zip, *descriptor, 1u << 20, bytes) && reader.Read(bytes)) {
            facts.moduleName = std::string(reader.moduleName);
            facts.moduleMainClass = Dotted(reader.moduleMainClass);
        }
    }
    std::string mainClass = facts.moduleMainClass;
    for (const auto& [name, value] : facts.manifest) {
        if (name == "Main-Class") mainClass = value;
    }
    if (!mainClass.empty()) {
        std::string entry = mainClass;
        std::replace(entry.begin(), entry.end(), '.', '/');
        const ZipEntry* found = FindEntry(entries, entry + ".class");
        if (found && ReadZipEntryInto(zip, *found, 64u << 20, bytes) && reader.Read(bytes)) {
            facts.mainClassVersion = std::string(JavaVersionOfClassFile(reader.major));
        }
    }
    for (const auto& [name, value] : facts.manifest) {
        if (name == "SplashScreen-Image" && !value.empty()) {
            ExtractSplashImage(zip, entries, value, folder, facts.jarFolder, facts);
        }
    }
    output = InitialConfiguration(facts);
    return 0;
}

void NoteMissingModules(const std::wstring& vmLibrary, const std::vector<std::wstring>& vmOptions,
                        DecisionLog& log) {
    if (vmLibrary.empty()) return;
    // jvm.dll is in <runtime>\bin\<server or client>\.
    std::wstring home = NormalizePathSeparatorsAndDots(StripPathLevels(vmLibrary, 3));
    std::optional<std::vector<std::string>> modules;
    const wchar_t* source = L"release";
    {
        MappedFile release(home + L"\\release");
        modules = ReleaseModules(release.Bytes());
    }
    if (!modules) {
        source = L"lib\\modules";
        MappedFile image(home + L"\\lib\\modules");
        modules = ImageModules(image.Bytes());
    }
    if (!modules) {
        // Before Java 9 a runtime holds the whole platform: nothing can be missing.
        NoteDecision(&log, "modules", "no-module-list", {{"runtime", home}});
        return;
    }
    std::wstring list;
    for (const std::string& module : *modules)
        list += (list.empty() ? L"" : L" ") + FromUtf8(module);
    NoteDecision(&log, "modules", "runtime-modules",
                 {{"runtime", home}, {"source", source}, {"modules", list}});

    ModuleUse use;
    std::size_t jars = 0;
    auto addFolder = [&](auto& self, const std::wstring& folder) -> void {
        WIN32_FIND_DATAW found;
        UniqueFindHandle find(::FindFirstFileExW(ToLongPathForm(folder + L"\\*").c_str(),
                                                 FindExInfoBasic, &found, FindExSearchNameMatch,
                                                 nullptr, 0));
        if (!find) return;
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                self(self, folder + L"\\" + name);
            } else if (EndsWithIgnoringCase(name, L".class") && name != L"module-info.class") {
                MappedFile file(folder + L"\\" + name);
                if (!use.AddClass(file.Bytes())) ++use.unreadable;
            }
        } while (::FindNextFileW(find.get(), &found));
    };
    for (const std::wstring& option : vmOptions) {
        std::wstring_view value;
        for (std::wstring_view prefix : {L"-Djava.class.path=", L"--module-path="}) {
            if (option.compare(0, prefix.size(), prefix) == 0)
                value = std::wstring_view(option).substr(prefix.size());
        }
        for (const std::wstring& entry : SplitList(value, L";")) {
            if (entry.empty()) continue;
            DWORD attributes = ::GetFileAttributesW(ToLongPathForm(entry).c_str());
            if (attributes == INVALID_FILE_ATTRIBUTES) continue;
            if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
                addFolder(addFolder, entry);
            } else {
                MappedFile file(entry);
                use.AddJar(file.Bytes());
                ++jars;
            }
        }
    }
    std::vector<MissingModule> missing = use.Missing(*modules);
    NoteDecision(&log, "modules", "classes-read",
                 {{"jars", std::to_wstring(jars)},
                  {"classes", std::to_wstring(use.classes)},
                  {"unreadable", std::to_wstring(use.unreadable)}});
    for (const MissingModule& module : missing) {
        std::wstring name = FromUtf8(module.module);
        NoteDecision(&log, "modules", "module-missing",
                     {{"module", name},
                      {"class", FromUtf8(module.referencingClass)},
                      {"package", FromUtf8(module.package)},
                      {"addModules", L"--add-modules " + name}});
    }
    if (!missing.empty()) {
        NoteDecision(&log, "modules", "jlink",
                     {{"command", FromUtf8(JlinkCommand(*modules, missing, Utf8(home)))}});
    }
}
