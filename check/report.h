#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/decision_log.h"
#include "core/seen_runtime.h"

/// What a dry run of a launcher ended with, beside the decisions it recorded.
struct LaunchSummary {
    std::wstring executable;
    std::wstring commandLine;
    bool initialized = false;
    int exitCode = 0;
    /// "run-in-process", "hand-over", "forward-to-primary", "missing-runtime-dialog" or "stop".
    std::wstring outcome;
    std::wstring message;  ///< the message the launcher would show, if any
    std::wstring mainClass;
    std::wstring mainModule;  ///< "Main Module" as configured; empty for a class-path application
    std::wstring vmLibrary;
    bool launchPair = false;
    std::wstring pairProduct;
    std::vector<std::wstring> vmOptions;
    std::vector<std::wstring> arguments;
    unsigned long long vmThreadStackSize = 0;
    /// Every runtime the search saw, in order, with why it was not taken.
    std::vector<SeenRuntime> runtimesSeen;
    /// One line per entry of runtimesSeen, in the user interface language, as the
    /// missing-runtime dialog's details show them.
    std::vector<std::wstring> runtimeReport;
};

/// Collects decisions in order.
class CollectingDecisionLog : public DecisionLog {
public:
    void Record(Decision decision) override { decisions.push_back(std::move(decision)); }
    std::vector<Decision> decisions;
};

/// UTF-16 to a JSON string literal (UTF-8, quotes included); lone surrogates are escaped.
std::string JsonString(std::wstring_view text);

std::string RenderJsonReport(const LaunchSummary& summary, const std::vector<Decision>& decisions);
/// The same report for people: one section per stage, in the order the launcher ran.
std::string RenderTextReport(const LaunchSummary& summary, const std::vector<Decision>& decisions);
