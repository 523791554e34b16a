#pragma once
// Scripted application classes: the text a fixture stores where a class file would be.
//
//   #!standin
//   main
//       print-args out
//       println err some text
//       exit 3
//   secondaryMain int 7
//       sleep 200
//
// A line without indentation opens a method ("main", "secondaryMain void",
// "secondaryMain int <n>"); indented lines are its actions, run in order. A class without a
// "main" line has no main method. Lines starting with "#" are comments.

#include <string>
#include <vector>

namespace standin {

inline constexpr char kScriptMagic[] = "#!standin";

struct ScriptAction {
    std::string verb;
    std::string argument;  // the rest of the line after the verb, trimmed
};

struct ScriptSection {
    bool present = false;
    bool returnsInt = false;
    int result = 0;
    std::vector<ScriptAction> actions;
};

struct Script {
    ScriptSection main;
    ScriptSection secondaryMain;
};

/// Parses a script; returns false with `error` naming the line for unknown verbs or sections.
bool ParseScript(const std::string& text, Script& script, std::string& error);

}  // namespace standin
