#pragma once

#include <string>
#include <utility>
#include <vector>

/// What `vmbootcheck --init` learnt from a main jar. Paths are as the .ini will name them:
/// relative to the folder the launcher will sit in, or absolute. Text is UTF-8.
struct InitFacts {
    std::string jarFolder;                ///< the jar's folder with a trailing backslash, or empty
    std::string jarName;                  ///< "app.jar"
    std::vector<std::string> folderJars;  ///< the other jars of its folder, names only
    std::vector<std::pair<std::string, std::string>> manifest;  ///< main section attributes
    std::string moduleName;        ///< module-info's module; empty for a plain jar
    std::string moduleMainClass;   ///< module-info's main class, dotted
    std::string mainClassVersion;  ///< "11": the Java version the main class's file needs
    std::string splashImage;       ///< the image extracted from the jar, as the .ini names it
    std::string splashNote;        ///< what became of SplashScreen-Image, when not extracted
};

/// A commented starting configuration: what `java -jar` would take from the manifest,
/// written as the launcher's keys.
std::string InitialConfiguration(const InitFacts& facts);
