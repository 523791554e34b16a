// Class path classification and assembly over arbitrary "Class Path" values, with a fake
// folder listing: never crash, and never an empty entry (the VM reads one as the current folder).
#include <cstdlib>

#include "fuzz_input.h"
#include "options/class_path.h"

namespace {
class FakeLister : public DirectoryLister {
public:
    void List(const std::wstring& pattern,
              const std::function<void(std::wstring_view name)>& onMatch) override {
        if (pattern.size() % 3 == 0) return;  // some patterns match nothing
        onMatch(L"a.jar");
        onMatch(L".");
        onMatch(L"..");
    }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::wstring value = WideFromBytes(data, size);
    ClassifyClassPathEntry(value);
    IsAbsoluteClassPathEntry(value);
    ClassPathSearchFor(value, L"C:\\App");
    FakeLister lister;
    std::wstring result = AssembleClassPath(
        value, L"C:\\App", [](std::wstring& entry) { (void)entry; }, lister);
    if (!result.empty() && (result.front() == L';' || result.back() == L';')) std::abort();
    if (result.find(L";;") != std::wstring::npos) std::abort();
    return 0;
}
