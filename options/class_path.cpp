#include "options/class_path.h"

#include "core/path_utils.h"

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
    // Java projects write "lib/a.jar"; "/" separates folders as "\" does.
    std::wstring normalized(entry);
    for (wchar_t& c : normalized) {
        if (c == L'/') c = L'\\';
    }
    std::size_t slash = normalized.rfind(L'\\');
    if (IsAbsoluteClassPathEntry(normalized)) {
        search.Pattern = normalized;
        if (slash != std::wstring::npos) {
            search.Folder.assign(normalized, 0, slash);
        } else if (normalized[1] == L':') {
            // "C:*.jar" is relative to the drive's current folder: the matches keep the drive.
            search.Folder.assign(normalized, 0, 2);
        }
        return search;
    }
    search.Pattern.reserve(launcherFolder.size() + 1 + normalized.size());
    search.Pattern.append(launcherFolder).append(1, L'\\').append(normalized);
    search.Folder.assign(launcherFolder);
    if (slash != std::wstring::npos) {
        search.Folder.append(1, L'\\').append(normalized, 0, slash);
    }
    return search;
}

void ExpandClassPathEntry(std::wstring_view entry, std::wstring_view launcherFolder,
                          DirectoryLister& files, std::wstring& output) {
    ClassPathSearch search = ClassPathSearchFor(entry, launcherFolder);
    bool driveOnly = search.Folder.size() == 2 && search.Folder[1] == L':';
    files.List(search.Pattern, [&](std::wstring_view name) {
        if (!output.empty()) output.append(1, L';');
        output.append(search.Folder);
        if (!driveOnly) output.append(1, L'\\');
        output.append(name);
    });
}

std::wstring AssembleClassPath(std::wstring_view value, std::wstring_view launcherFolder,
                               const std::function<void(std::wstring&)>& expand,
                               DirectoryLister& files,
                               std::vector<std::wstring>* unmatched) {
    std::wstring output;
    for (std::wstring& entry : SplitList(value, L";")) {
        if (expand) expand(entry);
        if (ClassifyClassPathEntry(entry) == ClassPathEntryKind::Absolute) {
            if (!output.empty()) output.append(1, L';');
            output.append(entry);
            continue;
        }
        std::size_t before = output.size();
        ExpandClassPathEntry(entry, launcherFolder, files, output);
        if (unmatched && output.size() == before && !entry.empty()) unmatched->push_back(entry);
    }
    return output;
}
