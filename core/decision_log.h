#pragma once

#include <string>
#include <utility>
#include <vector>

/// One decision a launch stage made, with the facts behind it. Stages record decisions
/// only when a log is attached (the diagnostics tool); the launcher itself attaches none.
struct Decision {
    std::string stage;  ///< e.g. "config", "discovery", "options"
    std::string what;   ///< e.g. "key", "registry-root", "candidate", "outcome"
    std::vector<std::pair<std::string, std::wstring>> fields;
};

class DecisionLog {
public:
    virtual ~DecisionLog() = default;
    virtual void Record(Decision decision) = 0;
};

/// Records a decision when a log is attached; does nothing otherwise.
inline void NoteDecision(DecisionLog* log, std::string stage, std::string what,
                         std::vector<std::pair<std::string, std::wstring>> fields = {}) {
    if (log) log->Record(Decision{std::move(stage), std::move(what), std::move(fields)});
}
