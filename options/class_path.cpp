#include "options/class_path.h"

#include "options/path_utils.h"

bool IsAbsoluteClassPathEntry(std::wstring_view entry) {
    if (entry.size() < 2) return false;
    return entry[1] == L':' || (entry[0] == L'\\' && entry[1] == L'\\');
}

ClassPathEntryKind ClassifyClassPathEntry(std::wstring_view entry) {
    if (entry.find(L'*') != std::wstring_view::npos) return ClassPathEntryKind::Wildcard;
    return IsAbsoluteClassPathEntry(entry) ? ClassPathEntryKind::Absolute
                                           : ClassPathEntryKind::Relative;
}

ClassPathSearch ClassPathSearchFor(std::wstring_view entry, std::wstring_view launcherFolder) {
    ClassPathSearch search;
    std::size_t slash = entry.rfind(L'\\');
    if (IsAbsoluteClassPathEntry(entry)) {
        search.Pattern.assign(entry);
        if (slash != std::wstring_view::npos) search.Folder.assign(entry.substr(0, slash));
        return search;
    }
    search.Pattern.reserve(launcherFolder.size() + 1 + entry.size());
    search.Pattern.append(launcherFolder).append(1, L'\\').append(entry);
    search.Folder.assign(launcherFolder);
    if (slash != std::wstring_view::npos) {
        search.Folder.append(1, L'\\').append(entry.substr(0, slash));
    }
    return search;
}

void ExpandClassPathEntry(std::wstring_view entry, std::wstring_view launcherFolder,
                          DirectoryLister& files, std::wstring& output) {
    ClassPathSearch search = ClassPathSearchFor(entry, launcherFolder);
    files.List(search.Pattern, [&](std::wstring_view name) {
        output.append(search.Folder).append(1, L'\\').append(name).append(1, L';');
    });
}

std::wstring AssembleClassPath(std::wstring_view value, std::wstring_view launcherFolder,
                               const std::function<void(std::wstring&)>& expand,
                               DirectoryLister& files) {
    std::wstring output;
    for (std::wstring& entry : SplitList(value, L";")) {
        if (expand) expand(entry);
        if (ClassifyClassPathEntry(entry) == ClassPathEntryKind::Absolute) {
            output.append(entry).append(1, L';');
        } else {
            ExpandClassPathEntry(entry, launcherFolder, files, output);
        }
    }
    return output;
}
