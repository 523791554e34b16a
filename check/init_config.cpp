#include "check/init_config.h"

#include <algorithm>
#include <string_view>

namespace {

std::string Attribute(const InitFacts& facts, std::string_view name) {
    for (const auto& [key, value] : facts.manifest) {
        if (key == name) return value;
    }
    return {};
}

std::vector<std::string> Items(std::string_view value) {
    std::vector<std::string> items;
    for (std::size_t start = 0; start < value.size();) {
        std::size_t end = value.find(' ', start);
        if (end == std::string_view::npos) end = value.size();
        if (end > start) items.emplace_back(value.substr(start, end - start));
        start = end + 1;
    }
    return items;
}

/// A Class-Path item is a relative URL: '/' separates folders, %XX escapes a byte.
std::string PathOfUrl(std::string_view url) {
    std::string path;
    for (std::size_t i = 0; i < url.size(); ++i) {
        char c = url[i];
        auto hex = [](char h) {
            return h >= '0' && h <= '9'   ? h - '0'
                   : h >= 'a' && h <= 'f' ? h - 'a' + 10
                   : h >= 'A' && h <= 'F' ? h - 'A' + 10
                                          : -1;
        };
        if (c == '%' && i + 2 < url.size() && hex(url[i + 1]) >= 0 && hex(url[i + 2]) >= 0) {
            path.push_back(static_cast<char>(hex(url[i + 1]) * 16 + hex(url[i + 2])));
            i += 2;
        } else {
            path.push_back(c == '/' ? '\\' : c);
        }
    }
    return path;
}

/// One item of "Virtual Machine Parameters": quoted when it holds a space.
std::string Parameter(const std::string& option) {
    return option.find(' ') == std::string::npos ? option : "\"" + option + "\"";
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x >= 'A' && x <= 'Z' ? x + 32 : x) == (y >= 'A' && y <= 'Z' ? y + 32 : y);
           });
}

}  // namespace

std::string InitialConfiguration(const InitFacts& facts) {
    const std::string jar = facts.jarFolder + facts.jarName;
    const bool modular = !facts.moduleName.empty();
    std::string mainClass = Attribute(facts, "Main-Class");
    if (mainClass.empty()) mainClass = facts.moduleMainClass;

    std::string out;
    out += "; Starting configuration written by vmbootcheck --init from the manifest of\n";
    out += "; " + jar + ". Save it beside the launcher as <launcher name>.ini; relative paths\n";
    out += "; below are relative to the launcher's folder (the folder --init ran in).\n\n";
    out += "[Java Runtime Environment]\n";
    if (mainClass.empty()) {
        out +=
            "; The manifest names no Main-Class: name the class whose main starts the program.\n";
        out += modular ? "Main Module=" + facts.moduleName + "\n" : "Main Class=\n";
    } else if (modular) {
        out +=
            "; The jar is a module (it holds module-info.class): started from the module path.\n";
        out += "Main Module=" + facts.moduleName + "/" + mainClass + "\n";
    } else {
        out += "; From Main-Class.\n";
        out += "Main Class=" + mainClass + "\n";
    }
    if (!facts.mainClassVersion.empty()) {
        out += "; The main class's file needs Java " + facts.mainClassVersion + " or later.\n";
        out += "Minimum Version=" + facts.mainClassVersion + "\n";
    }

    // What only `java -jar` reads from the manifest, as options; a class-path program's
    // packages are in the unnamed module, a module's in its own.
    const std::string target = modular ? facts.moduleName : "ALL-UNNAMED";
    // The VM resolves an agent's path against the current folder, which is wherever the user
    // started the program from.
    const bool absolute = (jar.size() > 1 && jar[1] == ':') || jar.rfind("\\\\", 0) == 0;
    const std::string agent = "-javaagent:" + (absolute ? jar : "%QL_APP_HOME%\\" + jar);
    std::vector<std::string> options;
    std::vector<std::string> notes;
    for (const auto& [name, value] : facts.manifest) {
        if (name == "Add-Opens" || name == "Add-Exports") {
            std::string option = name == "Add-Opens" ? "--add-opens=" : "--add-exports=";
            for (const std::string& item : Items(value))
                options.push_back(option + item + "=" + target);
        } else if (name == "Enable-Native-Access") {
            options.push_back("--enable-native-access=" + target);
        } else if (name == "Launcher-Agent-Class") {
            // -javaagent: starts the jar's Premain-Class; a jar with only a
            // Launcher-Agent-Class would stop the VM at start.
            std::string premain = Attribute(facts, "Premain-Class");
            if (!premain.empty()) {
                options.push_back(agent);
            } else {
                notes.push_back(
                    "; Launcher-Agent-Class " + value +
                    " is started by java -jar only. For\n"
                    "; the launcher, give the jar a Premain-Class with a premain method and\n"
                    "; add " +
                    Parameter(agent) + " here.\n");
            }
        }
    }
    for (const std::string& note : notes) out += note;
    if (!options.empty()) {
        out += "; From the manifest's Add-Opens, Add-Exports, Enable-Native-Access and\n";
        out += "; Launcher-Agent-Class, which only java -jar reads.\n";
        out += "Virtual Machine Parameters=";
        for (std::size_t i = 0; i < options.size(); ++i)
            out += (i ? " " : "") + Parameter(options[i]);
        out += "\n";
    }

    // The jar first, then what its Class-Path names, then the rest of its folder.
    std::vector<std::string> entries = {jar};
    auto add = [&](const std::string& entry) {
        for (const std::string& present : entries) {
            if (SameIgnoringCase(present, entry)) return;
        }
        entries.push_back(entry);
    };
    for (const std::string& item : Items(Attribute(facts, "Class-Path")))
        add(facts.jarFolder + PathOfUrl(item));
    for (const std::string& name : facts.folderJars) add(facts.jarFolder + name);
    std::string list;
    for (std::size_t i = 0; i < entries.size(); ++i) list += (i ? ";" : "") + entries[i];
    if (modular) {
        out += "; The jar, the jars its Class-Path names and the other jars of its folder.\n";
        out += "Module Path=" + list + "\n";
    } else {
        out += "\n[Class Path]\n";
        out += "; The jar, the jars its Class-Path names and the other jars of its folder.\n";
        out += "Class Path=" + list + "\n";
    }

    if (!facts.splashImage.empty() || !facts.splashNote.empty()) {
        out += "\n[Display]\n";
        if (!facts.splashNote.empty()) {
            out += "; SplashScreen-Image " + Attribute(facts, "SplashScreen-Image") + ": " +
                   facts.splashNote + "\n";
        } else {
            out += "; SplashScreen-Image, taken out of the jar.\n";
        }
        if (!facts.splashImage.empty()) out += "Splash Screen=" + facts.splashImage + "\n";
    }
    return out;
}
