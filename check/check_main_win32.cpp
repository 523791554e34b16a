// vmbootcheck: explains what a launcher executable would do, by running the launcher's own
// configuration, discovery and option code in a dry run (no VM, no dialog, no file written,
// no environment change).
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "check/jar_manifest.h"
#include "check/known_keys.h"
#include "check/packaging_win32.h"
#include "check/report.h"
#include "config/configuration_win32.h"
#include "config/settings_store_win32.h"
#include "core/pe_header.h"
#include "core/text_win32.h"
#include "core/unique_handle_win32.h"
#include "config/utf8_settings.h"
#include "hosting/redirect_win32.h"
#include "discovery/discovery_win32.h"
#include "discovery/missing_runtime_dialog_win32.h"
#include "core/path_utils.h"
#include "core/path_utils_win32.h"
#include "launcher/launch_sequence_win32.h"

namespace {
std::wstring QuoteArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \"") == std::wstring::npos) return argument;
    return L"\"" + argument + L"\"";
}

void WriteOut(const std::string& utf8) {
    HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (::GetConsoleMode(out, &mode)) {
        // A console shows UTF-16 correctly whatever its code page.
        std::wstring wide = FromUtf8(utf8);
        DWORD written = 0;
        ::WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    DWORD written = 0;
    ::WriteFile(out, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

/// True when the executable is built for the console subsystem (the console launcher),
/// whose launches differ: no splash, no dialogs, messages on standard error.
bool IsConsoleExecutable(const std::wstring& path) {
    UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        0, nullptr));
    if (!file) return false;
    std::uint8_t header[4096] = {};
    DWORD read = 0;
    if (!::ReadFile(file.get(), header, sizeof header, &read, nullptr)) return false;
    PeHeaders headers;
    return ReadPeHeaders(ByteView(header, read), &headers, nullptr) &&
           headers.subsystem == IMAGE_SUBSYSTEM_WINDOWS_CUI;
}

bool HasDecision(const std::vector<Decision>& decisions, const char* stage, const char* what) {
    for (const Decision& d : decisions) {
        if (d.stage == stage && d.what == what) return true;
    }
    return false;
}

/// The sections and keys of the configuration file as the profile functions see them.
SettingsDocument ReadSectionsAndKeys(const std::wstring& path) {
    IniSettingsStore store(path);
    // A UTF-8 file is read by our own parser, which the profile functions would misread.
    if (const SettingsDocument* utf8 = store.Utf8Document()) return *utf8;
    SettingsDocument document;
    std::wstring list;
    // A double-null-terminated list; a length of capacity - 2 means it may be cut.
    FillGrowingBuffer(list, 256, [&](wchar_t* data, DWORD capacity) -> DWORD {
        DWORD length = ::GetPrivateProfileSectionNamesW(data, capacity, path.c_str());
        return length + 2 >= capacity ? kGrowBuffer : length;
    });
    std::vector<std::wstring> names;
    for (std::size_t start = 0; start < list.size();) {
        std::size_t end = list.find(L'\0', start);
        if (end == std::wstring::npos) end = list.size();
        if (end > start) names.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    for (const std::wstring& name : names) {
        std::wstring pairs;
        FillGrowingBuffer(pairs, 4096, [&](wchar_t* buffer, DWORD capacity) -> DWORD {
            DWORD length = ::GetPrivateProfileSectionW(name.c_str(), buffer, capacity, path.c_str());
            return length + 2 >= capacity ? kGrowBuffer : length;
        });
        SettingsSection& section = document.AppendSection(name);
        // "key=value", each ended by a NUL.
        for (std::size_t start = 0; start < pairs.size();) {
            std::size_t end = pairs.find(L'\0', start);
            if (end == std::wstring::npos) end = pairs.size();
            std::wstring pair = pairs.substr(start, end - start);
            std::size_t equals = pair.find(L'=');
            if (equals != std::wstring::npos) {
                std::wstring key = pair.substr(0, equals);
                while (!key.empty() && key.back() == L' ') key.pop_back();
                section.Pairs.emplace_back(std::move(key), pair.substr(equals + 1));
            }
            start = end + 1;
        }
    }
    return document;
}

/// Keys the launcher would ignore without a word, as decisions of the configuration stage.
void NoteIgnoredKeys(const Launcher& launcher, DecisionLog& log) {
    std::wstring path;
    if (!ConfigurationFilePath(launcher, path)) return;
    for (const KeyNote& note : CheckConfigurationKeys(ReadSectionsAndKeys(path))) {
        NoteDecision(&log, "config", note.kind,
                     {{"section", note.section}, {"key", note.key}, {"belongsIn", note.belongsIn}});
    }
}

/// Calls `use` with the bytes of a file mapped into memory; nothing for an empty, missing or
/// very large file.
template <typename Use>
void WithFileBytes(const std::wstring& path, Use use) {
    UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0 ||
        size.QuadPart > (256LL << 20)) {
        return;
    }
    UniqueHandle mapping(::CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping) return;
    UniqueMappedView view(::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
    if (!view) return;
    use(std::string_view(static_cast<const char*>(view.get()),
                         static_cast<std::size_t>(size.QuadPart)));
}

/// The file's sections as written, a repeated header included (the profile functions show
/// only the first of two).
SettingsDocument ReadSectionsAsWritten(const std::wstring& path) {
    SettingsDocument document;
    WithFileBytes(path, [&](std::string_view bytes) {
        if (IsUtf8SettingsFile(bytes)) {
            ParseUtf8Settings(document, bytes);
            return;
        }
        std::wstring text;
        if (bytes.size() >= 2 && bytes.compare(0, 2, "\xFF\xFE") == 0) {
            for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
                text += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                             (static_cast<unsigned char>(bytes[i + 1]) << 8));
            }
        } else {
            text = FromCodePage(CP_ACP, bytes);
        }
        // The parser splits at CR LF; a file saved with LF alone reads the same to Windows.
        std::wstring lines;
        for (wchar_t c : text) {
            if (c == L'\r') continue;
            if (c == L'\n') lines += L'\r';
            lines += c;
        }
        ParseSettingsText(document, lines);
    });
    return document;
}

/// Sections written twice, with the keys of the later one, which the launcher never reads.
void NoteRepeatedSections(const Launcher& launcher, DecisionLog& log) {
    std::wstring path;
    if (!ConfigurationFilePath(launcher, path)) return;
    for (const RepeatedSection& repeated : FindRepeatedSections(ReadSectionsAsWritten(path))) {
        std::wstring keys;
        for (const std::wstring& key : repeated.keys) keys += (keys.empty() ? L"" : L", ") + key;
        NoteDecision(&log, "config", "repeated-section",
                     {{"section", repeated.section},
                      {"unreadKeys", keys},
                      {"why", L"only the first section of a name is read"}});
    }
}

/// Values that would be read as "no" for letter case alone ("Yes" where only "yes" turns a
/// key on), from the keys the launch read.
void NoteCaseMismatches(CollectingDecisionLog& log) {
    std::vector<Decision> found;
    for (const Decision& d : log.decisions) {
        if (d.stage != "config" || d.what != "key") continue;
        std::wstring key, value;
        for (const auto& [name, text] : d.fields) {
            if (name == "key") key = text;
            if (name == "value") value = text;
        }
        std::wstring needs = CaseOnlyMismatch(key, value);
        if (needs.empty()) continue;
        found.push_back({"config", "letter-case-differs",
                         {{"key", key},
                          {"value", value},
                          {"needs", needs},
                          {"effect", L"read as not set: only the exact word counts"}}});
    }
    for (Decision& d : found) log.Record(std::move(d));
}

/// An output or error file the launch could not open, said before the user meets it.
void NoteOutputFileProblems(const Launcher& launcher, DecisionLog& log) {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    for (const auto& [key, configured] : {std::pair{L"Output File", launcher.OutputFile},
                                          std::pair{L"Error File", launcher.ErrorFile}}) {
        if (configured.empty()) continue;
        std::wstring file = configured;
        if (file.find(L'%') != std::wstring::npos) ExpandTimePattern(file, now);
        std::wstring problem = OutputFileProblem(file);
        if (problem.empty()) continue;
        NoteDecision(&log, "hosting", "output-file-not-writable",
                     {{"key", key},
                      {"file", file},
                      {"problem", problem},
                      {"effect", L"the launcher says so once and runs the program without it"}});
    }
}

/// What the main class's jar asks of `java -jar` that the launcher's options do not carry,
/// as decisions of the options stage.
void NoteManifestAttributes(const Launcher& launcher, const std::vector<std::wstring>& options,
                            DecisionLog& log) {
    std::string entry;
    if (launcher.MainClassName.empty() || !ToCodePageExact(CP_UTF8, launcher.MainClassName, entry)) {
        return;
    }
    entry += ".class";
    const std::wstring prefix = L"-Djava.class.path=";
    for (const std::wstring& option : options) {
        if (option.compare(0, prefix.size(), prefix) != 0) continue;
        for (std::wstring& path : SplitList(std::wstring_view(option).substr(prefix.size()), L";")) {
            if (path.size() < 4 ||
                ::CompareStringOrdinal(path.c_str() + path.size() - 4, 4, L".jar", 4, TRUE) != CSTR_EQUAL) {
                continue;
            }
            bool found = false;
            WithFileBytes(path, [&](std::string_view bytes) {
                JarContents jar = ReadJarContents(bytes, entry);
                if (!jar.hasEntry) return;
                found = true;
                if (!jar.manifest) return;
                for (const ManifestNote& note : ManifestAttributesNotCarried(
                         ManifestMainAttributes(*jar.manifest), launcher.VmOptions)) {
                    NoteDecision(&log, "options", "manifest-attribute-not-carried",
                                 {{"jar", path},
                                  {"attribute", FromUtf8(note.attribute)},
                                  {"value", FromUtf8(note.value)}});
                }
            });
            if (found) return;  // the first jar with the class is the one the VM loads it from
        }
    }
}

const char kUsage[] =
    "usage: vmbootcheck [--json] <launcher.exe> [arguments the launcher would get...]\n"
    "Explains how that launcher would start: configuration, runtime search, VM options,\n"
    "arguments, modules the runtime lacks, and outcome. Nothing is started, shown or written.\n"
    "       vmbootcheck --init <main.jar>\n"
    "Prints a starting .ini from the jar's manifest, paths relative to the current folder;\n"
    "a splash image the manifest names is taken out of the jar into the jar's folder.\n";
}  // namespace

int wmain(int argc, wchar_t** argv) {
    bool json = false;
    std::wstring target;
    std::vector<std::wstring> arguments;
    for (int i = 1; i < argc; ++i) {
        std::wstring argument = argv[i];
        if (target.empty() && argument == L"--json") {
            json = true;
        } else if (target.empty() && argument == L"--init") {
            if (i + 2 != argc) {
                WriteOut(kUsage);
                return 2;
            }
            std::string text;
            int code = InitConfigurationFromJar(argv[i + 1], text);
            WriteOut(text);
            return code;
        } else if (target.empty() && (argument == L"--help" || argument == L"-h")) {
            WriteOut(kUsage);
            return 0;
        } else if (target.empty()) {
            target = argument;
        } else {
            arguments.push_back(argument);
        }
    }
    if (target.empty()) {
        WriteOut(kUsage);
        return 2;
    }
    std::wstring fullPath = FullPathName(target);
    if (::GetFileAttributesW(fullPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
        WriteOut("vmbootcheck: no such launcher executable\n");
        return 2;
    }

    CollectingDecisionLog log;
    LaunchSummary summary;
    summary.executable = fullPath;
    summary.commandLine = QuoteArgument(fullPath);
    for (const auto& argument : arguments) summary.commandLine += L" " + QuoteArgument(argument);
    {
        LaunchSequence launcher;
        launcher.DryRun = true;
        launcher.Decisions = &log;
        launcher.Console = IsConsoleExecutable(fullPath);
        NoteDecision(&log, "check", "launcher", {{"build", launcher.Console ? L"console" : L"windows"}});
        launcher.ExecutablePathOverride = fullPath;
        launcher.CommandLine = summary.commandLine;
        summary.initialized = launcher.Initialize();
        summary.exitCode = summary.initialized ? launcher.Run() : -1;
        summary.mainClass = launcher.MainClassName;
        summary.mainModule = launcher.MainModule;
        summary.vmLibrary = launcher.VmLibraryPath;
        summary.launchPair = launcher.LaunchPairFlag;
        summary.pairProduct = launcher.PairProduct;
        summary.vmThreadStackSize = launcher.VmThreadStackSize;
        for (const auto& option : launcher.VmOptions) summary.vmOptions.push_back(FromProcessAnsi(option));
        summary.arguments = launcher.ApplicationArguments;
        summary.runtimesSeen = launcher.RuntimesSeen;
        NoteIgnoredKeys(launcher, log);
        NoteRepeatedSections(launcher, log);
        NoteCaseMismatches(log);
        NoteOutputFileProblems(launcher, log);
        NoteManifestAttributes(launcher, summary.vmOptions, log);
        if (summary.initialized) NoteMissingModules(launcher.VmLibraryPath, summary.vmOptions, log);
        if (!summary.initialized) {
            summary.outcome = HasDecision(log.decisions, "discovery", "missing-runtime-dialog")
                                  ? L"missing-runtime-dialog"
                                  : L"stop";
        } else if (launcher.LaunchPairFlag) {
            summary.outcome = L"hand-over";
        } else if (launcher.SingleInstanceEnabled && !launcher.IsPrimaryInstance) {
            summary.outcome = L"forward-to-primary";
        } else if (summary.exitCode == -1) {
            summary.outcome = L"stop";
        } else {
            summary.outcome = L"run-in-process";
        }
    }
    summary.runtimeReport = RuntimeReportLines(summary.runtimesSeen);
    for (const Decision& d : log.decisions) {
        if (d.stage != "launch" || d.what != "message") continue;
        for (const auto& [name, value] : d.fields) {
            if (name == "text") summary.message = value;
        }
    }
    WriteOut(json ? RenderJsonReport(summary, log.decisions)
                  : RenderTextReport(summary, log.decisions));
    return 0;
}
