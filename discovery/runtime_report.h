#pragma once

#include "core/decision_log.h"
#include "core/seen_runtime.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

/// Why the search did not take a runtime it saw. The codes are stable: the diagnostics tool
/// prints them in its JSON report, and the dialog maps them to its string table.
enum class RuntimeRejection {
    None,
    BelowMinimumVersion,
    AboveMaximumVersion,
    WrongKind,
    ProviderNotAllowed,
    NoVmLibrary,
    OtherProcessorNoPair,
    FolderMissing,
    DamagedVmLibrary,
    UnsupportedProcessor,
    VersionUnknown,  ///< no version could be read, and a bound is set
};

/// "below-minimum-version", ...; empty for None.
std::wstring RejectionCode(RuntimeRejection reason);

/// Where a runtime was seen.
inline constexpr wchar_t kOriginJrePath[] = L"jre-path";
/// The folder picked in the missing-runtime dialog and kept for this user.
inline constexpr wchar_t kOriginRemembered[] = L"remembered";
inline constexpr wchar_t kOriginBundled[] = L"bundled";
inline constexpr wchar_t kOriginRegistry[] = L"registry";
inline constexpr wchar_t kOriginVendor[] = L"vendor";
inline constexpr wchar_t kOriginJavaHome[] = L"java-home";

/// Adds `runtime` to `seen` (when given) and records it in the log as "runtime-seen".
void NoteRuntimeSeen(std::vector<SeenRuntime>* seen, DecisionLog* log, const SeenRuntime& runtime);

/// Turns a rejection code, or the origin code "bundled", into the user's language.
using ReportText = std::function<std::wstring(std::wstring_view code)>;

/// One line: "<reason> - <source>: <folder> (<version>, <kind>)", where the source is the
/// "JRE Path" key, the bundled runtime, the registry key, or "JAVA_HOME"; without a reason
/// for a runtime that was acceptable.
std::wstring DescribeSeenRuntime(const SeenRuntime& runtime, const ReportText& text);
