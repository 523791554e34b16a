#include "check/report.h"

#include <cstdint>
#include <cstdio>

namespace {
void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

void AppendEscape(std::string& out, std::uint32_t unit) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(unit & 0xFFFF));
    out += buffer;
}

// Text without quotes: UTF-8 for the console, pairs of UTF-16 surrogates combined.
std::string Utf8(std::wstring_view text, bool json) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t unit = static_cast<std::uint32_t>(text[i]) & 0xFFFFu;
        if (json) {
            if (unit == '"' || unit == '\\') {
                out.push_back('\\');
                out.push_back(static_cast<char>(unit));
                continue;
            }
            if (unit == '\n') { out += "\\n"; continue; }
            if (unit == '\r') { out += "\\r"; continue; }
            if (unit == '\t') { out += "\\t"; continue; }
            if (unit < 0x20) { AppendEscape(out, unit); continue; }
        }
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size()) {
            std::uint32_t low = static_cast<std::uint32_t>(text[i + 1]) & 0xFFFFu;
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        if (unit >= 0xD800 && unit <= 0xDFFF) {
            if (json) AppendEscape(out, unit);
            else out += "\xEF\xBF\xBD";
            continue;
        }
        AppendUtf8(out, unit);
    }
    return out;
}

std::string JsonList(const std::vector<std::wstring>& items) {
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i) out += ", ";
        out += JsonString(items[i]);
    }
    return out + "]";
}
}  // namespace

std::string JsonString(std::wstring_view text) { return "\"" + Utf8(text, true) + "\""; }

std::string RenderJsonReport(const LaunchSummary& s, const std::vector<Decision>& decisions) {
    std::string out = "{\n";
    out += "  \"executable\": " + JsonString(s.executable) + ",\n";
    out += "  \"commandLine\": " + JsonString(s.commandLine) + ",\n";
    out += "  \"outcome\": " + JsonString(s.outcome) + ",\n";
    out += "  \"exitCode\": " + std::to_string(s.exitCode) + ",\n";
    out += "  \"message\": " + JsonString(s.message) + ",\n";
    out += "  \"mainClass\": " + JsonString(s.mainClass) + ",\n";
    out += "  \"mainModule\": " + JsonString(s.mainModule) + ",\n";
    out += "  \"vmLibrary\": " + JsonString(s.vmLibrary) + ",\n";
    out += std::string("  \"handOver\": ") + (s.launchPair ? "true" : "false") + ",\n";
    out += "  \"pairProduct\": " + JsonString(s.pairProduct) + ",\n";
    out += "  \"vmThreadStackSize\": " + std::to_string(s.vmThreadStackSize) + ",\n";
    out += "  \"vmOptions\": " + JsonList(s.vmOptions) + ",\n";
    out += "  \"arguments\": " + JsonList(s.arguments) + ",\n";
    // Why each runtime the search saw was (not) taken: the codes for programs, the line the
    // dialog shows for people.
    const std::vector<SeenRuntime>& seen = s.runtimesSeen;
    out += "  \"runtimesSeen\": [";
    for (std::size_t i = 0; i < seen.size(); ++i) {
        const SeenRuntime& r = seen[i];
        out += i ? ",\n    " : "\n    ";
        out += "{\"origin\": " + JsonString(r.origin) + ", \"place\": " + JsonString(r.place) +
               ", \"folder\": " + JsonString(r.folder) + ", \"version\": " +
               JsonString(r.version) + ", \"kind\": " + JsonString(r.kind) +
               ", \"rejected\": " + JsonString(r.reason) + ", \"text\": " +
               JsonString(i < s.runtimeReport.size() ? s.runtimeReport[i] : std::wstring()) +
               ", \"chosen\": " + (r.chosen ? "true" : "false") + "}";
    }
    out += seen.empty() ? "],\n" : "\n  ],\n";
    out += "  \"decisions\": [";
    for (std::size_t i = 0; i < decisions.size(); ++i) {
        const Decision& d = decisions[i];
        out += i ? ",\n    " : "\n    ";
        out += "{\"stage\": " + JsonString(std::wstring(d.stage.begin(), d.stage.end())) +
               ", \"what\": " + JsonString(std::wstring(d.what.begin(), d.what.end()));
        for (const auto& [name, value] : d.fields) {
            out += ", " + JsonString(std::wstring(name.begin(), name.end())) + ": " +
                   JsonString(value);
        }
        out += "}";
    }
    out += decisions.empty() ? "]\n" : "\n  ]\n";
    return out + "}\n";
}

std::string RenderTextReport(const LaunchSummary& s, const std::vector<Decision>& decisions) {
    std::string out;
    out += "Launcher:      " + Utf8(s.executable, false) + "\n";
    out += "Command line:  " + Utf8(s.commandLine, false) + "\n\n";
    std::string stage;
    for (const Decision& d : decisions) {
        if (d.stage != stage) {
            stage = d.stage;
            out += "[" + stage + "]\n";
        }
        out += "  " + d.what;
        for (const auto& [name, value] : d.fields) out += "  " + name + "=" + Utf8(value, false);
        out += "\n";
    }
    out += "\nMain class:    " + Utf8(s.mainClass, false) + "\n";
    if (!s.mainModule.empty()) out += "Main module:   " + Utf8(s.mainModule, false) + "\n";
    out += "VM library:    " + Utf8(s.vmLibrary, false) + "\n";
    out += "Hand-over:     " + std::string(s.launchPair ? "yes, to " : "no") +
           (s.launchPair ? Utf8(s.pairProduct, false) : "") + "\n";
    // In words, from the decision the sharing step recorded (none before a stop).
    for (const Decision& d : decisions) {
        if (d.stage != "sharing") continue;
        static constexpr std::pair<const char*, const char*> kStates[] = {
            {"map", "a valid archive is mapped: "},
            {"record", "no valid archive; this start records one at exit: "},
            {"no-base-archive", "the runtime's base archive is missing: "},
            {"off", "off: "}};
        out += "Class sharing: ";
        for (const auto& [what, words] : kStates) {
            if (d.what == what) out += words;
        }
        for (const auto& [name, value] : d.fields) {
            if (name == "archive" || name == "reason" || name == "state" || name == "detail") {
                if (!value.empty()) out += Utf8(value, false) + (name == "reason" ? " " : "");
            }
        }
        out += "\n";
    }
    out += "VM options:\n";
    for (const auto& option : s.vmOptions) out += "  " + Utf8(option, false) + "\n";
    out += "Arguments:\n";
    for (const auto& argument : s.arguments) out += "  " + Utf8(argument, false) + "\n";
    out += "Runtimes seen:\n";
    for (std::size_t i = 0; i < s.runtimeReport.size(); ++i) {
        const bool chosen = i < s.runtimesSeen.size() && s.runtimesSeen[i].chosen;
        out += (chosen ? "* " : "  ") + Utf8(s.runtimeReport[i], false) +
               (chosen ? "  (chosen)" : "") + "\n";
    }
    if (!s.message.empty()) out += "Message:       " + Utf8(s.message, false) + "\n";
    out += "Outcome:       " + Utf8(s.outcome, false) + ", exit code " +
           std::to_string(s.exitCode) + "\n";
    return out;
}
