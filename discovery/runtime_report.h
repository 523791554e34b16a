#pragma once

#include "core/decision_log.h"

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

/// One runtime the search looked at, as recorded in the decision log ("runtime-seen").
struct SeenRuntime {
    std::wstring origin;   ///< one of the kOrigin codes
    std::wstring place;    ///< the registry key with hive and view; empty for folders
    std::wstring folder;
    std::wstring version;  ///< dotted, empty when not known
    std::wstring kind;     ///< "JDK", "JRE" or empty
    std::wstring reason;   ///< a RejectionCode; empty when the runtime was acceptable
};

void NoteRuntimeSeen(DecisionLog* log, const SeenRuntime& runtime);

/// The "runtime-seen" records of a decision list, in the order the search made them.
std::vector<SeenRuntime> SeenRuntimes(const std::vector<Decision>& decisions);

/// Turns a rejection code, or the origin code "bundled", into the user's language.
using ReportText = std::function<std::wstring(std::wstring_view code)>;

/// One line: "<reason> - <source>: <folder> (<version>, <kind>)", where the source is the
/// "JRE Path" key, the bundled runtime, the registry key, or "JAVA_HOME"; without a reason
/// for a runtime that was acceptable.
std::wstring DescribeSeenRuntime(const SeenRuntime& runtime, const ReportText& text);

/// Keeps the "runtime-seen" records of a search and passes every decision on to the log
/// that was attached before (if any).
class SeenRuntimeLog : public DecisionLog {
  public:
    explicit SeenRuntimeLog(DecisionLog* next) : next_(next) {}
    void Record(Decision decision) override;
    std::vector<Decision> decisions;

  private:
    DecisionLog* next_;
};
