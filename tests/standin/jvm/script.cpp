#include "script.h"

#include <set>
#include <sstream>

namespace standin {
namespace {

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

const std::set<std::string>& Verbs() {
    static const std::set<std::string> verbs = {
        "print-args",   "println", "exit",       "throw",       "thread",
        "daemon",       "sleep",   "wait-file",  "wait-window", "wait-quit",
        "close-splash", "return",  "return-arg", "mark",        "abort"};
    return verbs;
}

}  // namespace

bool ParseScript(const std::string& text, Script& script, std::string& error) {
    std::istringstream in(text);
    std::string line;
    ScriptSection* current = nullptr;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        std::string trimmed = Trim(line);
        if (trimmed.empty() || trimmed[0] == '#') continue;
        bool indented = line[0] == ' ' || line[0] == '\t';
        std::string verb = trimmed.substr(0, trimmed.find_first_of(" \t"));
        std::string rest = verb.size() < trimmed.size() ? Trim(trimmed.substr(verb.size())) : "";
        if (!indented) {
            if (verb == "main" && rest.empty()) {
                current = &script.main;
            } else if (verb == "secondaryMain" && (rest == "void" || rest.rfind("int", 0) == 0)) {
                current = &script.secondaryMain;
                current->returnsInt = rest != "void";
                if (current->returnsInt) {
                    std::string n = Trim(rest.substr(3));
                    try {
                        current->result = n.empty() ? 0 : std::stoi(n);
                    } catch (...) {
                        error = "line " + std::to_string(number) + ": bad int result";
                        return false;
                    }
                }
            } else {
                error = "line " + std::to_string(number) + ": unknown method '" + trimmed + "'";
                return false;
            }
            current->present = true;
            continue;
        }
        if (!current || !Verbs().count(verb)) {
            error = "line " + std::to_string(number) + ": unknown action '" + trimmed + "'";
            return false;
        }
        current->actions.push_back({verb, rest});
    }
    return true;
}

}  // namespace standin
