#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "options/memory_options.h"

// Splitting "Virtual Machine Parameters" into VM options: spaces separate, double quotes
// group (and are removed), percentage sizes are rewritten and "-Xss" sets the stack size of
// the thread that creates the VM.

/// The end of the token that starts at `start`: the first space outside a double-quoted
/// run. An unclosed quote does not protect the spaces after it.
std::size_t FindTokenEnd(std::wstring_view text, std::size_t start);

/// Removes each pair of double quotes, keeping what lies between; a doubled quote right
/// after a closing quote closes the pair instead (the first of the two is content); a lone
/// or unclosed quote stays.
void StripQuotes(std::wstring& token);

/// What processing a parameter needs from outside and what it reports back.
struct VmParameterContext {
    /// Asked once for every percentage option (the memory figures are not cached).
    std::function<MemoryAmounts<std::size_t>()> QueryMemory;
    /// The VM thread's stack size in bytes; every "-Xss" option sets it, the last wins.
    std::size_t StackSize = 0;
};

/// Unquotes one token, rewrites a percentage size, reads "-Xss" and appends the result to
/// `options`. An empty result is not appended: an empty option only makes the VM refuse
/// to start.
void ProcessVmParameter(std::wstring token, std::vector<std::wstring>& options,
                        VmParameterContext& context);

/// Splits the text at runs of spaces (U+0020) outside double quotes and processes each token.
void TokenizeVmParameters(std::wstring_view text, std::vector<std::wstring>& options,
                          VmParameterContext& context);

/// Joins each module option written as the java command takes it, with its value as the next
/// option ("--add-opens" "java.base/java.lang=ALL-UNNAMED"), into the one-word form that the
/// VM accepts ("--add-opens=java.base/java.lang=ALL-UNNAMED"); "-p" becomes "--module-path=".
/// Every other option, and a module option already in the "=" form or with no option after
/// it, is left as it is. Returns how many were joined.
std::size_t JoinModuleOptionValues(std::vector<std::wstring>& options);

/// Removes every "--module-path=" option (after JoinModuleOptionValues) and returns their
/// values in order, so that they can join the configured module path instead of replacing it:
/// the VM keeps only the last "--module-path=" it is given.
std::vector<std::wstring> TakeModulePathOptions(std::vector<std::wstring>& options);

/// The "Virtual Machine Parameters" key to use instead of an option that only the java
/// command understands ("-cp", "-jar", "-m", an "@file", ...), which the VM itself refuses;
/// null for every other option.
const wchar_t* JavaCommandOptionKey(std::wstring_view option);

/// An option that the java command acts on itself, never passing it to the VM as written.
enum class JavaLauncherOption {
    None,          ///< an option for the VM
    ServerVm,      ///< "-server": the server VM where the runtime has one
    ClientVm,      ///< "-client": the client VM where the runtime has one
    ShowVersion,   ///< "-showversion" (standard error) or "--show-version" (standard output)
    ShowSettings,  ///< "-XshowSettings" or "-XshowSettings:category"
    Splash,        ///< "-splash:image"
    Diagnostics,   ///< "-Xdiag": the launcher helper's detailed errors
    DryRun,        ///< "--dry-run": create the VM, load the main class, do not run it
    EndsJava,      ///< "-version", "-help", ...: java ends before main
};

JavaLauncherOption ClassifyJavaLauncherOption(std::wstring_view option);

/// What the java command's own options among the VM parameters ask for.
struct JavaLauncherRequests {
    JavaLauncherOption VmType = JavaLauncherOption::None;  ///< the last -server or -client
    bool ShowVersion = false;
    bool ShowVersionOnStdout = false;  ///< "--show-version" was the last of the two spellings
    std::wstring ShowSettings;         ///< the last "-XshowSettings..." as written
    std::wstring SplashImage;          ///< the last "-splash:" value
    bool DryRun = false;
    std::vector<std::wstring> EndingOptions;  ///< options that end java before main, in order
};

/// Takes the java command's own options out of `options` and says what they ask for, as java
/// reads them: "-Xdiag" becomes "-Dsun.java.launcher.diag=true" (what java passes for it), the
/// others are removed.
JavaLauncherRequests TakeJavaLauncherOptions(std::vector<std::wstring>& options);

/// "-Dsun.java.command=" as the java command sets it: the main module as configured, else the
/// main class (given in slash form) with dots, then each argument after a space.
std::wstring JavaCommandProperty(std::wstring_view mainClass, std::wstring_view mainModule,
                                 const std::vector<std::wstring>& arguments);

/// What becomes of the user's own "Virtual Machine Parameters" (the per-user file's): they
/// come after the application's, so that the user's value of an option wins, except in an
/// elevated process, where a file the user can write must not add options such as
/// "-javaagent".
enum class PerUserParameters { None, Used, IgnoredElevated };
PerUserParameters DecidePerUserParameters(std::wstring_view value, bool elevated);
