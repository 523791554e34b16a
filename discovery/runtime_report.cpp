#include "discovery/runtime_report.h"

namespace {

constexpr char kSeenWhat[] = "runtime-seen";

struct ReasonRow {
    RuntimeRejection reason;
    const wchar_t* code;
};

constexpr ReasonRow kReasons[] = {
    {RuntimeRejection::BelowMinimumVersion, L"below-minimum-version"},
    {RuntimeRejection::AboveMaximumVersion, L"above-maximum-version"},
    {RuntimeRejection::WrongKind, L"wrong-kind"},
    {RuntimeRejection::ProviderNotAllowed, L"provider-not-allowed"},
    {RuntimeRejection::NoVmLibrary, L"no-vm-library"},
    {RuntimeRejection::OtherProcessorNoPair, L"other-processor-no-pair-product"},
    {RuntimeRejection::FolderMissing, L"folder-missing"},
    {RuntimeRejection::DamagedVmLibrary, L"damaged-vm-library"},
    {RuntimeRejection::UnsupportedProcessor, L"unsupported-processor"},
    {RuntimeRejection::VersionUnknown, L"version-unknown"},
};

}  // namespace

std::wstring RejectionCode(RuntimeRejection reason) {
    for (const ReasonRow& row : kReasons) {
        if (row.reason == reason) return row.code;
    }
    return {};
}

void NoteRuntimeSeen(std::vector<SeenRuntime>* seen, DecisionLog* log, const SeenRuntime& runtime) {
    if (seen) seen->push_back(runtime);
    NoteDecision(log, "discovery", kSeenWhat,
                 {{"origin", runtime.origin},
                  {"place", runtime.place},
                  {"folder", runtime.folder},
                  {"version", runtime.version},
                  {"kind", runtime.kind},
                  {"rejected", runtime.reason}});
}

std::wstring DescribeSeenRuntime(const SeenRuntime& runtime, const ReportText& text) {
    std::wstring line;
    if (runtime.origin == kOriginJrePath) {
        line = L"JRE Path";
    } else if (runtime.origin == kOriginJavaHome) {
        line = L"JAVA_HOME";
    } else if (runtime.origin == kOriginRemembered) {
        line = L"JRE Path (" + text(kOriginRemembered) + L")";
    } else if (runtime.origin == kOriginBundled) {
        line = text(kOriginBundled);
    } else {
        line = runtime.place;
    }
    line += L": " + runtime.folder;
    std::wstring facts = runtime.version;
    if (!runtime.kind.empty()) facts += (facts.empty() ? L"" : L", ") + runtime.kind;
    if (!facts.empty()) line += L" (" + facts + L")";
    // The reason first: the list is narrower than most lines, and why is what people open
    // it for.
    if (!runtime.reason.empty()) line = text(runtime.reason) + L" - " + line;
    return line;
}
