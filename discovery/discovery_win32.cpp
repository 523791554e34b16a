#include "discovery/discovery_win32.h"

#include "config/configuration_win32.h"
#include "core/format.h"
#include "core/launcher_win32.h"
#include "core/resources_win32.h"
#include "discovery/missing_runtime_dialog_win32.h"
#include "core/pe_header.h"
#include "discovery/runtime_report.h"
#include "discovery/runtime_sources_win32.h"
#include "discovery/selection.h"
#include "discovery/version_win32.h"
#include "core/path_utils.h"
#include "core/path_utils_win32.h"
#include "resources/resource_ids.h"

namespace {

constexpr bool kBuild64 = sizeof(void*) == 8;

std::wstring MachineText(std::uint16_t machine) {
    return L"0x" + HexText(machine, 4, HexLetters::Upper);
}

/// The application's own runtime folder when the search could not use it: "JRE Path" when it
/// lies below the launcher's folder, else the shipped folder when it exists. Empty otherwise.
std::wstring OwnRuntimeFolder(FileProbe& files, const std::wstring& launcherFolder,
                              const std::wstring& jrePath) {
    if (launcherFolder.empty()) return {};
    const std::wstring inside = launcherFolder + L"\\";
    std::wstring configured = NormalizePathSeparatorsAndDots(JrePathFolder(jrePath));
    if (configured.size() > inside.size() &&
        ::CompareStringOrdinal(configured.c_str(), static_cast<int>(inside.size()), inside.c_str(),
                               -1, TRUE) == CSTR_EQUAL) {
        return configured;
    }
    std::wstring shipped = inside + PrivateRuntimeFolder();
    return files.FolderExists(shipped) ? shipped : std::wstring();
}

}  // namespace

const wchar_t* PrivateRuntimeFolder() { return kBuild64 ? L"jre64\\" : L"jre\\"; }

VmLibraryLocation LocateVmLibrary(const std::wstring& folder, JvmTypeMode mode) {
    Win32FileProbe files;
    return LocateVmLibrary(files, folder, mode);
}

void CheckVmLibraryMachine(Launcher& launcher) {
    launcher.LaunchPairFlag = false;
    if (launcher.PairProduct.empty()) {
        NoteDecision(launcher.Decisions, "discovery", "machine",
                     {{"library", launcher.VmLibraryPath}, {"skipped", L"no Pair Product"}});
        return;
    }
    std::optional<std::uint16_t> machine = ReadImageMachine(launcher.VmLibraryPath);
    if (!machine) {
        NoteDecision(launcher.Decisions, "discovery", "machine",
                     {{"library", launcher.VmLibraryPath}, {"machine", L"not a PE image"}});
        return;
    }
    launcher.LaunchPairFlag = ClassifyMachine(*machine, kBuild64) == MachineFit::Pair;
    NoteDecision(launcher.Decisions, "discovery", "machine",
                 {{"library", launcher.VmLibraryPath},
                  {"machine", MachineText(*machine)},
                  {"handOver", DecisionText(launcher.LaunchPairFlag)}});
}

bool DiscoverRuntime(Launcher& launcher) {
    RuntimeSearchInputs inputs;
    inputs.jrePath = launcher.JrePath;
    inputs.jrePathConfigured = launcher.JrePathConfigured;
    inputs.rememberedJrePath = launcher.RememberedJrePath;
    // The configuration was read from beside this path, so the folder is known by now;
    // without it the shipped runtime is simply not looked for.
    if (!LauncherFolder(launcher, inputs.launcherFolder)) inputs.launcherFolder.clear();
    inputs.privateFolder = PrivateRuntimeFolder();
    inputs.pairProduct = launcher.PairProduct;
    inputs.criteria = launcher.Criteria;
    inputs.criteria.HostIs64Bit = kBuild64;
    if (inputs.criteria.UseJavaHome) inputs.javaHome = EnvironmentVariable(L"JAVA_HOME");

    Win32RegistryAccess registry;
    Win32FileProbe files;
    RuntimeSearchResult result = SearchRuntime(inputs, registry, files, launcher.Decisions);
    launcher.RuntimesSeen = std::move(result.seen);
    if (!result.library.empty()) {
        launcher.VmLibraryPath = result.library;
        launcher.LaunchPairFlag = result.launchPair;
        // Only IBM's own runtimes keep their VM thread parked after main, and never at a
        // console, where the process must end when the program does.
        launcher.KeepVmThreadParked =
            launcher.KeepVmThreadParked && result.fromIbmRoot && !launcher.Console;
        if (result.needsMachineCheck) CheckVmLibraryMachine(launcher);
        NoteDecision(launcher.Decisions, "discovery", "outcome",
                     {{"library", launcher.VmLibraryPath},
                      {"handOver", DecisionText(launcher.LaunchPairFlag)}});
        return true;
    }

    UINT templateId = launcher.Criteria.JvmType == JvmTypeMode::ServerOnly
                          ? IDS_JRE_NOT_FOUND_SERVER
                          : IDS_JRE_NOT_FOUND;
    std::wstring detail = DescribeVersionRequirement(launcher.Criteria.MinimumVersion,
                                                     launcher.Criteria.MaximumVersion);
    // A runtime folder inside the application's own that is there but unusable, or that "JRE
    // Path" names and that is gone, is a damaged install: downloading Java would not mend it.
    const std::wstring own = OwnRuntimeFolder(files, inputs.launcherFolder, launcher.JrePath);
    if (!own.empty()) {
        templateId = IDS_OWN_RUNTIME_DAMAGED;
        detail = own;
    }
    const std::wstring message =
        FormatTemplate(LoadResourceText(templateId), {std::wstring_view(detail)});
    if (launcher.DryRun) {
        NoteDecision(
            launcher.Decisions, "discovery", "missing-runtime-dialog",
            {{"message", message},
             {"mode", DecisionText(launcher.Criteria.JvmType)},
             {"would",
              L"show the missing-runtime dialog; without a choice the launch ends with -1"}});
        return false;
    }

    std::wstring chosenFolder;
    std::wstring chosenLibrary;
    if (!RunMissingRuntimeDialog(launcher, message, chosenFolder, chosenLibrary,
                                 RuntimeReportLines(launcher.RuntimesSeen)) ||
        chosenLibrary.empty()) {
        NoteDecision(launcher.Decisions, "discovery", "missing-runtime-dialog",
                     {{"message", message}, {"result", L"cancelled"}});
        return false;
    }
    NoteDecision(launcher.Decisions, "discovery", "missing-runtime-dialog",
                 {{"message", message},
                  {"result", L"ok"},
                  {"folder", chosenFolder},
                  {"library", chosenLibrary}});
    launcher.VmLibraryPath = chosenLibrary;
    launcher.KeepVmThreadParked = false;
    CheckVmLibraryMachine(launcher);
    RememberJrePath(launcher, chosenFolder);
    NoteDecision(
        launcher.Decisions, "discovery", "outcome",
        {{"library", launcher.VmLibraryPath}, {"handOver", DecisionText(launcher.LaunchPairFlag)}});
    return true;
}
