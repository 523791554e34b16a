#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The "Class Path" list: relative entries are anchored at the launcher's folder, relative
// and wildcard entries are replaced by the matching files, absolute entries pass unchanged.

enum class ClassPathEntryKind {
    Wildcard,  ///< contains "*": searched
    Absolute,  ///< "X:..." or "\\...": written unchanged, not checked
    Relative,  ///< anything else, including entries shorter than two characters: searched
};

ClassPathEntryKind ClassifyClassPathEntry(std::wstring_view entry);

/// The classification without the wildcard test: drive-letter or network form.
bool IsAbsoluteClassPathEntry(std::wstring_view entry);

/// What to search for an entry and the folder its matches are written under.
struct ClassPathSearch {
    std::wstring Pattern;
    std::wstring Folder;
};
ClassPathSearch ClassPathSearchFor(std::wstring_view entry, std::wstring_view launcherFolder);

/// File-system search seam: calls `onMatch` with the file name (no folder) of every entry
/// matching `pattern`, in the file system's order (folders, "." and ".." included).
class DirectoryLister {
  public:
    virtual ~DirectoryLister() = default;
    virtual void List(const std::wstring& pattern,
                      const std::function<void(std::wstring_view name)>& onMatch) = 0;
};

/// Appends "folder\name" for every match of one relative or wildcard entry, after a ";"
/// when `output` is not empty.
void ExpandClassPathEntry(std::wstring_view entry, std::wstring_view launcherFolder,
                          DirectoryLister& files, std::wstring& output);

/// The class path text for a ";"-separated "Class Path" value: the surviving entries joined
/// by ";", never an empty one (the VM would read it as the current folder). `expand`
/// replaces %NAME% references in one entry, before it is classified. Searched entries that
/// matched nothing are added to `unmatched` (expanded, empty entries left out) when it is
/// given. Linear in the size of the result.
std::wstring AssembleClassPath(std::wstring_view value, std::wstring_view launcherFolder,
                               const std::function<void(std::wstring&)>& expand,
                               DirectoryLister& files,
                               std::vector<std::wstring>* unmatched = nullptr);
