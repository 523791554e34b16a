#include "options/directory_lister_win32.h"

#include <windows.h>

#include "core/unique_handle_win32.h"
#include "core/path_utils.h"

void Win32DirectoryLister::List(const std::wstring& pattern,
                                const std::function<void(std::wstring_view name)>& onMatch) {
    WIN32_FIND_DATAW data{};
    UniqueFindHandle search(::FindFirstFileW(ToLongPathForm(pattern).c_str(), &data));
    if (!search) return;
    do {
        onMatch(data.cFileName);
    } while (::FindNextFileW(search.get(), &data));
}
