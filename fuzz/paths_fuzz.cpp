// Path component splitting and level stripping over arbitrary text.
#include <cstdlib>

#include "fuzz_input.h"
#include "core/path_utils.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::wstring path = WideFromBytes(data, size);
    SplitPathComponents(path);
    if (StripPathLevels(path, 2).size() > path.size()) std::abort();
    std::wstring longForm = ToLongPathForm(path);
    if (path.size() < kClassicPathLimit && longForm != path) std::abort();
    IsUncPath(path);
    FolderOf(path);
    return 0;
}
