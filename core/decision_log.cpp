#include "core/decision_log.h"

void NoteDecision(DecisionLog* log, const char* stage, const char* what,
                  std::initializer_list<DecisionField> fields) {
    if (!log) return;
    Decision decision{stage, what, {}};
    decision.fields.reserve(fields.size());
    for (const DecisionField& field : fields) decision.fields.emplace_back(field.first, field.second);
    log->Record(std::move(decision));
}
