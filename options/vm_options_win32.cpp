#include "options/vm_options_win32.h"

#include <string>
#include <vector>

#include "config/configuration.h"
#include "config/configuration_win32.h"
#include "config/settings_store_win32.h"
#include "core/format.h"
#include "core/resources_win32.h"
#include "core/launcher_win32.h"
#include "core/messages_win32.h"
#include "options/class_path_win32.h"
#include "options/option_text_win32.h"
#include "core/path_utils.h"
#include "core/path_utils_win32.h"
#include "core/unique_handle_win32.h"
#include "options/vm_parameters.h"
#include "resources/resource_ids.h"

namespace {

bool EqualsIgnoringCase(const std::wstring& value, const wchar_t* expected) {
    return ::CompareStringOrdinal(value.c_str(), -1, expected, -1, TRUE) == CSTR_EQUAL;
}

/// An output or error file name with environment references expanded; a "%...%" that names
/// no variable stays for the time pattern of the redirection. A relative name lies in the
/// launcher's folder, as the class path does: started through a file association, the
/// current folder is the document's.
std::wstring ReadFileSetting(const Launcher& launcher, LayeredSettingsStore& store,
                             const wchar_t* key) {
    std::wstring value = ReadNotedSetting(launcher, store, kApplicationSection, key);
    if (value.empty()) return value;
    ExpandEnvironment(value);
    std::wstring folder;
    if (!LauncherFolder(launcher, folder)) return value;
    return AnchorRelativePath(value, folder);
}

bool ReadYes(const Launcher& launcher, LayeredSettingsStore& store, const wchar_t* key) {
    return ReadNotedSetting(launcher, store, kApplicationSection, key) == L"yes";
}

/// True also when it cannot be told: the user's file is then not trusted either.
bool ProcessIsElevated() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return true;
    UniqueHandle owned(token);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    return !::GetTokenInformation(owned.get(), TokenElevation, &elevation, sizeof elevation,
                                  &size) ||
           elevation.TokenIsElevated != 0;
}

/// The user's own "Virtual Machine Parameters" from the per-user file, when they apply.
/// A service has no user of its own, so it reads none.
std::wstring ReadPerUserParameters(const Launcher& launcher) {
    if (launcher.IsServiceApplication) return {};
    std::wstring perUser = LauncherPerUserConfigurationPath(launcher, false);
    if (perUser.empty() || !PathExists(perUser)) return {};
    IniSettingsStore store(perUser);
    std::wstring value = ReadNotedSetting(launcher, store, kRuntimeSection,
                                          L"Virtual Machine Parameters", SettingSource::PerUser);
    const bool elevated = ProcessIsElevated();
    PerUserParameters decision = DecidePerUserParameters(value, elevated);
    if (decision == PerUserParameters::None) return {};
    NoteDecision(launcher.Decisions, "options", "per-user-parameters",
                 {{"file", perUser},
                  {"value", value},
                  {"used", decision == PerUserParameters::Used ? L"yes" : L"no"},
                  {"reason", decision == PerUserParameters::Used
                                 ? L"after the application's, so the user's value wins"
                                 : L"ignored: the process runs elevated"}});
    return decision == PerUserParameters::Used ? value : std::wstring();
}

/// The "Virtual Machine Parameters" split into options as the VM would receive them, before
/// the java command's own options are taken out.
std::vector<std::wstring> ReadVmParameters(LayeredSettingsStore& store, std::wstring& text,
                                           std::size_t& stackSize) {
    store.GetString(kRuntimeSection, L"Virtual Machine Parameters", text);
    std::vector<std::wstring> options;
    VmParameterContext context;
    context.QueryMemory = QuerySystemMemory;
    context.StackSize = stackSize;
    if (!text.empty()) TokenizeVmParameters(text, options, context);
    stackSize = context.StackSize;
    return options;
}

/// How the launcher takes one of the java command's options, for the decision log.
const wchar_t* JavaOptionTaken(JavaLauncherOption kind, bool vmTypeConfigured) {
    switch (kind) {
        case JavaLauncherOption::ServerVm:
            return vmTypeConfigured ? L"ignored: JVM Type decides" : L"server VM preferred";
        case JavaLauncherOption::ClientVm:
            return vmTypeConfigured ? L"ignored: JVM Type decides"
                                    : L"client VM preferred (the default order)";
        case JavaLauncherOption::ShowVersion:
            return L"version printed before main";
        case JavaLauncherOption::ShowSettings:
            return L"settings printed before main";
        case JavaLauncherOption::Splash:
            return L"splash image";
        case JavaLauncherOption::Diagnostics:
            return L"passed as -Dsun.java.launcher.diag=true";
        case JavaLauncherOption::DryRun:
            return L"main class loaded, not run";
        case JavaLauncherOption::EndsJava:
            return L"left out: java ends before main";
        case JavaLauncherOption::None:
            break;
    }
    return L"";
}

}  // namespace

void ReadJavaLauncherOptions(Launcher& launcher) {
    std::wstring configurationPath;
    if (!ConfigurationFilePath(launcher, configurationPath)) return;
    LayeredSettingsStore store(configurationPath);
    std::wstring text;
    std::size_t stackSize = 0;
    std::vector<std::wstring> options = ReadVmParameters(store, text, stackSize);
    // Any value of "JVM Type" that asks for something is the packager's choice.
    bool vmTypeConfigured = launcher.Criteria.JvmType != JvmTypeMode::AnyVm;
    for (const std::wstring& option : options) {
        JavaLauncherOption kind = ClassifyJavaLauncherOption(option);
        if (kind == JavaLauncherOption::None) continue;
        NoteDecision(launcher.Decisions, "options", "java-option",
                     {{"option", option}, {"taken", JavaOptionTaken(kind, vmTypeConfigured)}});
    }
    JavaLauncherRequests requests = TakeJavaLauncherOptions(options);
    // As java picks a VM by name where the runtime has it and otherwise runs the one it has.
    // The client VM is already first in the search order.
    if (requests.VmType == JavaLauncherOption::ServerVm && !vmTypeConfigured) {
        launcher.Criteria.JvmType = JvmTypeMode::FavorServer;
    }
    launcher.ShowVersion = requests.ShowVersion;
    launcher.ShowVersionOnStdout = requests.ShowVersionOnStdout;
    launcher.ShowSettingsOption = requests.ShowSettings;
    launcher.LoadMainClassOnly = requests.DryRun;
    if (!requests.SplashImage.empty()) {
        ExpandEnvironment(requests.SplashImage);
        launcher.SplashImageOption = requests.SplashImage;
    }
}

MemoryAmounts<std::size_t> QuerySystemMemory() {
    MEMORYSTATUS status{};
    status.dwLength = sizeof(status);
    ::GlobalMemoryStatus(&status);
    MemoryAmounts<std::size_t> memory;
    memory.TotalPhysical = status.dwTotalPhys;
    memory.AvailableVirtual = status.dwAvailVirtual;
    return memory;
}

void AddVmOption(Launcher& launcher, std::wstring_view option) {
    Win32OptionTextCodec codec;
    launcher.VmOptions.push_back(EncodeOptionText(option, codec, launcher.OptionText));
}

void AddPathListOption(Launcher& launcher, std::wstring_view prefix,
                       std::initializer_list<std::pair<std::wstring_view, PathNeed>> lists) {
    Win32OptionTextCodec codec;
    std::string paths;
    for (const auto& [list, need] : lists) {
        EncodePathList(list, need, codec, paths, launcher.OptionText);
    }
    launcher.VmOptions.push_back(EncodeOptionText(prefix, codec, launcher.OptionText) + paths);
}

bool CheckOptionText(Launcher& launcher) {
    const OptionTextNotes& notes = launcher.OptionText;
    for (const auto& [path, shortPath] : notes.Substituted) {
        NoteDecision(launcher.Decisions, "options", "short-name",
                     {{"path", path}, {"shortPath", shortPath}});
    }
    for (const std::wstring& text : notes.Defaulted) {
        NoteDecision(launcher.Decisions, "options", "default-character", {{"text", text}});
    }
    for (const std::wstring& path : notes.Lost) {
        NoteDecision(launcher.Decisions, "options", "unrepresentable-path", {{"path", path}});
    }
    if (notes.Lost.empty()) return true;
    ReportLaunchFormattedError(launcher, IDS_PATH_NOT_REPRESENTABLE,
                               ShortenPathForMessage(notes.Lost.front()));
    return false;
}

bool AssembleVmOptions(Launcher& launcher) {
    std::wstring configurationPath;
    if (!ConfigurationFilePath(launcher, configurationPath)) return false;
    LayeredSettingsStore store(configurationPath);

    std::vector<std::wstring> unmatched;
    std::wstring classPath = AssembleClassPath(launcher, store, &unmatched);
    std::wstring embeddedJar = ReadNotedSetting(launcher, store, kApplicationSection, L"Embedded Jar");
    if (EqualsIgnoringCase(embeddedJar, L"Yes")) {
        std::wstring module;
        if (ModulePath(launcher, module)) {
            classPath.insert(0, classPath.empty() ? module : module + L";");
        }
    }
    // A modular application may have nothing on the class path.
    bool moduleMode = !launcher.MainModule.empty();
    if (classPath.empty() && !moduleMode) {
        // Entries that name no file mean a damaged install; the VM would only say later that
        // it cannot find the main class.
        if (unmatched.empty()) {
            ReportLaunchError(launcher, IDS_NO_CLASS_PATH);
        } else {
            std::wstring names;
            for (const std::wstring& entry : unmatched) {
                if (!names.empty()) names += L"\n";
                names += entry;
            }
            ReportLaunchFormattedError(launcher, IDS_CLASS_PATH_NOT_FOUND, names);
        }
        return false;
    }

    std::wstring parameters =
        ReadNotedSetting(launcher, store, kRuntimeSection, L"Virtual Machine Parameters");
    std::vector<std::wstring> options;
    VmParameterContext context;
    context.QueryMemory = QuerySystemMemory;
    context.StackSize = launcher.VmThreadStackSize;
    if (!parameters.empty()) TokenizeVmParameters(parameters, options, context);
    // Split on their own: an unclosed quote in one value must not swallow the other.
    std::wstring perUser = ReadPerUserParameters(launcher);
    if (!perUser.empty()) TokenizeVmParameters(perUser, options, context);
    launcher.VmThreadStackSize = context.StackSize;
    // Done before the VM exists (ReadJavaLauncherOptions); those that would end java before
    // main are named, as below, and the launch goes on without them.
    for (const std::wstring& option : TakeJavaLauncherOptions(options).EndingOptions) {
        ReportLaunchError(launcher,
                          FormatTemplate(LoadResourceText(IDS_JAVA_ENDING_OPTION), {option}));
    }
    // Copied from java command lines, where the value may be the next word.
    std::size_t joined = JoinModuleOptionValues(options);
    for (std::size_t i = 0; i < options.size(); ++i) {
        const wchar_t* key = JavaCommandOptionKey(options[i]);
        if (!key) continue;
        // The VM would refuse these with "Unrecognized option"; say where they belong. Like
        // every message of this step it does not end the launch: the option and the value
        // written after it are left out (emptied, and empty options are not passed).
        ReportLaunchError(launcher, FormatTemplate(LoadResourceText(IDS_JAVA_COMMAND_OPTION),
                                                   {options[i], key}));
        bool valueFollows = options[i].find(L'=') == std::wstring::npos && options[i][0] != L'@';
        options[i].clear();
        if (valueFollows && i + 1 < options.size()) options[++i].clear();
    }

    // The class path entries were expanded one by one before the file search; expanding the
    // joined text again would rewrite file names that contain "%".
    if (!classPath.empty()) {
        AddPathListOption(launcher, L"-Djava.class.path=", {{classPath, PathNeed::Required}});
    }
    // What the java command passes for "--module-path", also for an application on the class
    // path that reads modules from it ("--add-modules").
    std::wstring modulePath = AssembleModulePath(launcher, store);
    // The VM keeps only the last --module-path: one written in the parameters as well would
    // silently drop "Module Path", so its folders are added to it instead.
    for (std::wstring& more : TakeModulePathOptions(options)) {
        ExpandEnvironment(more);
        if (more.empty()) continue;
        if (!modulePath.empty()) modulePath += L";";
        modulePath += more;
    }
    if (!modulePath.empty()) {
        AddPathListOption(launcher, L"--module-path=", {{modulePath, PathNeed::Required}});
    }
    if (moduleMode) {
        // "-m module[/class]": the class, when given, goes to the launcher helper with the
        // module name.
        MainModuleSetting setting = ParseMainModule(launcher.MainModule);
        AddVmOption(launcher, L"-Djdk.module.main=" + setting.Module);
        NoteDecision(launcher.Decisions, "options", "main-module",
                     {{"modulePath", modulePath},
                      {"module", setting.Module},
                      {"launchTarget", ModuleLaunchTarget(setting)}});
    }
    for (std::wstring& option : options) {
        if (option.empty()) continue;
        // After splitting and unquoting, so a value with spaces stays one option.
        ExpandEnvironment(option);
        AddVmOption(launcher, option);
    }
    NoteDecision(launcher.Decisions, "options", "vm-parameters",
                 {{"value", parameters},
                  {"count", DecimalText(options.size())},
                  {"joinedModuleOptions", DecimalText(joined)},
                  {"stackSize", DecimalText(launcher.VmThreadStackSize)}});

    std::wstring sharing = ReadNotedSetting(launcher, store, kRuntimeSection, L"Class Data Sharing");
    launcher.ClassDataSharing = !EqualsIgnoringCase(sharing, L"No");

    launcher.OutputFile = ReadFileSetting(launcher, store, L"Output File");
    launcher.OutputAppend = ReadYes(launcher, store, L"Output Append");
    launcher.ErrorFile = ReadFileSetting(launcher, store, L"Error File");
    launcher.ErrorAppend = ReadYes(launcher, store, L"Error Append");

    launcher.CmdValue = ReadNotedSetting(launcher, store, kApplicationSection, L"Cmd");
    if (!launcher.CmdValue.empty()) {
        std::wstring cmd = launcher.CmdValue;
        ExpandEnvironment(cmd);
        for (std::wstring& item : SplitArguments(cmd)) {
            if (!item.empty()) launcher.ApplicationArguments.push_back(std::move(item));
        }
    }
    NoteDecision(launcher.Decisions, "options", "application",
                 {{"outputFile", launcher.OutputFile},
                  {"outputAppend", launcher.OutputAppend ? L"yes" : L"no"},
                  {"errorFile", launcher.ErrorFile},
                  {"errorAppend", launcher.ErrorAppend ? L"yes" : L"no"},
                  {"cmd", launcher.CmdValue}});
    // Read by jcmd, jps and crash reports to name the program.
    AddVmOption(launcher, JavaCommandProperty(launcher.MainClassName, launcher.MainModule,
                                              launcher.ApplicationArguments));
    // As java passes it, last, so it wins over a value in the parameters as with java. The
    // runtime's AWT makes the process DPI-aware itself only under this launcher name.
    AddVmOption(launcher, L"-Dsun.java.launcher=SUN_STANDARD");
    return true;
}
