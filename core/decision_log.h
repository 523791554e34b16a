#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

/// One decision a launch stage made, with the facts behind it. Stages record decisions
/// only when a log is attached, which only the diagnostics tool does: the launcher itself
/// attaches none, so nothing a launch shows may be read back from the decisions.
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

/// One fact of a decision as the call site names it; copied only when a log is attached.
using DecisionField = std::pair<const char*, std::wstring_view>;

/// Records a decision when a log is attached; does nothing otherwise. The fields are views,
/// so that a launch without a log builds no strings for them (the launcher has no log, and
/// a copy at each of the many call sites would cost the executable's size).
void NoteDecision(DecisionLog* log, const char* stage, const char* what,
                  std::initializer_list<DecisionField> fields = {});
