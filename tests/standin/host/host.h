#pragma once
// Test host of the stand-in runtime. "check <scenario>" builds a runtime fixture in a fresh
// folder, runs "run <scenario> <folder>" as a child process (one VM per process, as in a real
// runtime) and checks its exit code, output and the stand-in log.

#include <jni.h>
#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace host {

/// What the parent prepares before the child runs.
struct Fixture {
    std::string jvmVariant = "full";
    std::string splashVariant;                      // empty: no splashscreen.dll
    std::vector<std::string> config;                // lines of standin.cfg
    std::map<std::string, std::string> classes;     // path under classes\ -> content
    std::map<std::string, std::string> jarEntries;  // entries of app.jar (stored)
    bool compressedJar = false;
    std::string childArgument;
};

/// What the child left behind.
struct Outcome {
    long code = 0;
    std::string out;
    std::string err;
    std::vector<std::string> log;
    std::string folder;  // UTF-8
    bool HasLog(const std::string& a, const std::string& b = "", const std::string& c = "") const;
    /// Index of the first log line containing every given text, or -1.
    int LogIndex(const std::string& a, const std::string& b = "") const;
};

/// The child's view: the fixture folder and the loaded VM library.
struct Child {
    std::wstring folder;
    std::string argument;
    HMODULE jvm = nullptr;
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    std::string ClassPath() const;  // the fixture's classes folder, ANSI
    std::string Path(const std::string& relative) const;
    /// JNI_CreateJavaVM with the options plus "abort" and "exit" hooks; returns the result.
    jint Create(std::vector<std::string> options, bool hooks = true);
    void CreateOrDie(std::vector<std::string> options);
    jclass FindOrDie(const char* name);
    jobjectArray Strings(const std::vector<std::u16string>& items);
    /// Calls the static main of `cls` with `args`.
    void CallMain(jclass cls, const std::vector<std::u16string>& args);
};

struct Checker {
    std::vector<std::string> failures;
    void Expect(bool condition, const std::string& what) {
        if (!condition) failures.push_back(what);
    }
};

struct Scenario {
    const char* name;
    std::function<void(Fixture&)> prepare;
    std::function<int(Child&)> run;
    std::function<void(const Outcome&, Checker&)> verify;
};

const std::vector<Scenario>& Scenarios();

/// Prints to the child's stdout with a flush (the VM may end the process at any moment).
void Say(const std::string& text);

}  // namespace host
