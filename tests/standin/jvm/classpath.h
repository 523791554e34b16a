#pragma once
// Application class lookup: class-path folders and jar files stored without compression.

#include <string>
#include <vector>

namespace standin {

/// Splits java.class.path at ';'. An empty element, like an absent class path, means the
/// current directory.
std::vector<std::string> SplitClassPath(const std::string& value, bool present);

/// Looks for `entry` (for example com/example/App.class) in each class-path element in order.
/// Returns false when nowhere; `error` is set when a jar holds the entry compressed.
/// `spelled` is the entry as the file system spells it (folders ignore letter case).
bool FindOnClassPath(const std::vector<std::string>& classPath, const std::string& entry,
                     std::string& bytes, std::string& where, std::string& spelled,
                     std::string& error);

/// Reads one entry of a zip file held in memory; false when absent or unreadable.
bool ReadStoredZipEntry(const std::string& zip, const std::string& entry, std::string& bytes,
                        std::string& error);

}  // namespace standin
