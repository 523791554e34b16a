#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "check/class_file.h"

// A runtime made by jlink holds only some modules; a program that needs another one fails
// only when it first touches it, with NoClassDefFoundError. vmbootcheck compares what the
// class path's class files name with what the runtime holds.

/// The modules a runtime's `release` file lists (`MODULES="java.base java.xml"`); nothing
/// when the file has no such line.
std::optional<std::vector<std::string>> ReleaseModules(std::string_view release);

/// The modules of a runtime's module image (`lib\modules`), sorted; nothing when the bytes
/// are not a module image.
std::optional<std::vector<std::string>> ImageModules(std::string_view image);

/// The standard module that exports a package (internal form, "java/sql"); empty for none.
std::string_view JdkModuleOfPackage(std::string_view package);

/// A module the program needs that the runtime lacks, with the first class found using it.
struct MissingModule {
    std::string module;            ///< "java.sql"
    std::string package;           ///< the package used, "java.sql"
    std::string referencingClass;  ///< "com.example.Db"
};

/// Collects, over a program's class files, the standard modules their constant pools use.
class ModuleUse {
  public:
    /// Reads every class of a jar (a zip file); returns the number of classes read.
    std::size_t AddJar(std::string_view zip);
    /// Reads one class file; false when it is not one.
    bool AddClass(std::string_view bytes);

    /// The used modules missing from `runtimeModules`, in module name order. A package the
    /// class files define themselves is not counted: their own copy is what the VM loads.
    std::vector<MissingModule> Missing(const std::vector<std::string>& runtimeModules) const;

    std::size_t classes = 0;     ///< class files read
    std::size_t unreadable = 0;  ///< entries named .class that could not be read

  private:
    struct Use {
        std::string_view module;
        std::string referencingClass;  // internal form
        std::size_t order;
    };
    ClassFileReader reader_;
    std::string buffer_;
    std::map<std::string, Use, std::less<>> used_;  // package (internal form) -> first use
    std::set<std::string, std::less<>> defined_;    // packages of the classes read
};

/// The command that builds the runtime again with the missing modules added:
/// `jlink --add-modules java.base,...,java.sql --output jre64`.
std::string JlinkCommand(const std::vector<std::string>& runtimeModules,
                         const std::vector<MissingModule>& missing, std::string_view output);
