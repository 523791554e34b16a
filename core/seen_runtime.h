#pragma once

#include <string>

// Part of the Launcher state: the runtime search fills a list of these, which the
// missing-runtime dialog's details and the diagnostics tool's report show.

/// One runtime the search looked at, and why it was not taken (or that it was).
struct SeenRuntime {
    std::wstring origin;  ///< where it was seen: one of discovery's kOrigin codes
    std::wstring place;   ///< the registry key with hive and view; empty for folders
    std::wstring folder;
    std::wstring version;  ///< dotted, empty when not known
    std::wstring kind;     ///< "JDK", "JRE" or empty
    std::wstring reason;   ///< a rejection code; empty when the runtime was acceptable
    bool chosen = false;   ///< the one the launch uses
};
