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

void NoteRuntimeSeen(DecisionLog* log, const SeenRuntime& runtime) {
    NoteDecision(log, "discovery", kSeenWhat,
                 {{"origin", runtime.origin},
                  {"place", runtime.place},
                  {"folder", runtime.folder},
                  {"version", runtime.version},
                  {"kind", runtime.kind},
                  {"rejected", runtime.reason}});
}

std::vector<SeenRuntime> SeenRuntimes(const std::vector<Decision>& decisions) {
    std::vector<SeenRuntime> seen;
    for (const Decision& d : decisions) {
        if (d.stage != "discovery" || d.what != kSeenWhat) continue;
        SeenRuntime runtime;
        for (const auto& [name, value] : d.fields) {
            if (name == "origin") runtime.origin = value;
            else if (name == "place") runtime.place = value;
            else if (name == "folder") runtime.folder = value;
            else if (name == "version") runtime.version = value;
            else if (name == "kind") runtime.kind = value;
            else if (name == "rejected") runtime.reason = value;
        }
        seen.push_back(std::move(runtime));
    }
    return seen;
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

void SeenRuntimeLog::Record(Decision decision) {
    if (decision.stage == "discovery" && decision.what == kSeenWhat) decisions.push_back(decision);
    if (next_) next_->Record(std::move(decision));
}
