// Shows one of the launcher's dialogs in a chosen language:
//   dialog_probe exception <en|de|fr|nl> [trace line]...
//   dialog_probe missing <en|de|fr|nl> [--server] [folder or "-"]...
// The exit code is the dialog result (1 OK/Ignore, 2 Cancel/Stop, -1 not shown). After OK
// the missing-runtime dialog's choice is printed as "folder=..." and "library=...".
#include <windows.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "core/format.h"
#include "core/launcher_win32.h"
#include "core/resources_win32.h"
#include "discovery/discovery_win32.h"
#include "discovery/missing_runtime_dialog_win32.h"
#include "discovery/runtime_report.h"
#include "discovery/version_win32.h"
#include "hosting/exception_dialog_win32.h"
#include "resources/resource_ids.h"
#include "scripted_picker.h"

namespace {

LANGID LanguageOf(const std::wstring& code) {
    if (code == L"de") return MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN);
    if (code == L"fr") return MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH);
    if (code == L"nl") return MAKELANGID(LANG_DUTCH, SUBLANG_DUTCH);
    return MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK);
}

void PrintUtf8(const std::wstring& line) {
    int size = ::WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, bytes.data(), size, nullptr, nullptr);
    std::printf("%s\n", bytes.c_str());
}

const wchar_t kSampleTrace[] =
    L"java.lang.IllegalStateException: configuration \u00AB\u00E9t\u00E9\u00BB not found\r\n"
    L"\tat com.example.app.Settings.load(Settings.java:118)\r\n"
    L"\tat com.example.app.Settings.<init>(Settings.java:42)\r\n"
    L"\tat com.example.app.Main.start(Main.java:77)\r\n"
    L"\tat com.example.app.Main.main(Main.java:19)\r\n"
    L"Caused by: java.io.FileNotFoundException: C:\\Users\\Public\\example\\settings.xml "
    L"(The system cannot find the file specified)\r\n"
    L"\tat java.base/java.io.FileInputStream.open0(Native Method)\r\n"
    L"\tat java.base/java.io.FileInputStream.open(FileInputStream.java:216)\r\n"
    L"\t... 4 more\r\n";

// One runtime for every reason the search gives, so that each translation is seen.
std::vector<std::wstring> SampleReport() {
    const std::pair<const wchar_t*, const wchar_t*> rows[] = {
        {L"jre-path", L"no-vm-library"},
        {L"bundled", L"no-vm-library"},
        {L"java-home", L"folder-missing"},
        {L"registry", L"below-minimum-version"},
        {L"registry", L"above-maximum-version"},
        {L"registry", L"other-processor-no-pair-product"},
        {L"vendor", L"provider-not-allowed"},
        {L"vendor", L"wrong-kind"},
        {L"vendor", L"unsupported-processor"},
        {L"vendor", L"damaged-vm-library"},
    };
    std::vector<std::wstring> lines;
    for (const auto& [origin, reason] : rows) {
        SeenRuntime runtime;
        runtime.origin = origin;
        runtime.place =
            std::wstring(origin) == L"vendor"
                ? L"HKLM\\Software\\Eclipse Adoptium\\JDK\\17.0.9.9\\hotspot\\MSI (64-bit)"
                : L"HKLM\\Software\\JavaSoft\\Java Runtime Environment\\1.8 (32-bit)";
        runtime.folder = L"C:\\Program Files\\Eclipse Adoptium\\jdk-17.0.9.9-hotspot\\";
        runtime.version = L"17.0.9.9";
        runtime.kind = L"JDK";
        runtime.reason = reason;
        lines.push_back(DescribeSeenRuntime(runtime, RuntimeReportText));
    }
    return lines;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: dialog_probe exception|missing en|de|fr|nl [...]\n");
        return 3;
    }
    std::wstring which = argv[1];
    SetMessageLocale(MAKELCID(LanguageOf(argv[2]), SORT_DEFAULT));
    if (which == L"exception") {
        std::wstring trace;
        for (int i = 3; i < argc; ++i) trace += std::wstring(argv[i]) + L"\r\n";
        if (trace.empty()) trace = kSampleTrace;
        return static_cast<int>(ShowExceptionDialog(nullptr, trace));
    }
    if (which == L"missing") {
        Launcher launcher;
        std::deque<std::wstring> folders;
        for (int i = 3; i < argc; ++i) {
            if (std::wstring(argv[i]) == L"--server") {
                launcher.Criteria.JvmType = JvmTypeMode::ServerOnly;
            } else {
                folders.push_back(argv[i]);
            }
        }
        // The longest requirement phrase: both bounds.
        VersionNumber minimum{{1, 8, 0, 0}, 2};
        VersionNumber maximum{{17, 65535, 65535, 65535}, 1};
        UINT id = launcher.Criteria.JvmType == JvmTypeMode::ServerOnly ? IDS_JRE_NOT_FOUND_SERVER
                                                                       : IDS_JRE_NOT_FOUND;
        std::wstring requirement = DescribeVersionRequirement(minimum, maximum);
        std::wstring message =
            FormatTemplate(LoadResourceText(id), {std::wstring_view(requirement)});
        ScriptedFolderPicker picker(std::move(folders));
        std::wstring folder, library;
        INT_PTR result =
            ShowMissingRuntimeDialog(nullptr, launcher, message, picker, folder, library,
                                     SampleReport());
        if (result == IDOK) {
            PrintUtf8(L"folder=" + folder);
            PrintUtf8(L"library=" + library);
        }
        std::fflush(stdout);
        return static_cast<int>(result);
    }
    std::fprintf(stderr, "unknown dialog\n");
    return 3;
}
