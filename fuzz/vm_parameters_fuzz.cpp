// VM parameter splitting and the memory options: never crash, tokens never exceed the
// input, and unquoting never makes a token longer.
#include <cstdlib>

#include "fuzz_input.h"
#include "options/memory_options.h"
#include "options/vm_parameters.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::wstring text = WideFromBytes(data, size);
    for (std::size_t start = 0; start <= text.size(); start += 7) {
        std::size_t end = FindTokenEnd(text, start);
        if (end < start || end > text.size()) std::abort();
    }
    std::wstring unquoted = text;
    StripQuotes(unquoted);
    if (unquoted.size() > text.size()) std::abort();

    VmParameterContext context;
    context.QueryMemory = [] {
        MemoryAmounts<std::size_t> memory;
        memory.TotalPhysical = static_cast<std::size_t>(-1);
        memory.AvailableVirtual = std::size_t{1} << 20;
        return memory;
    };
    std::vector<std::wstring> options;
    TokenizeVmParameters(text, options, context);
    std::size_t before = options.size();
    std::size_t joined = JoinModuleOptionValues(options);
    if (options.size() + joined != before) std::abort();

    std::wstring narrow = L"-Xmx" + text + L"p";
    RewritePercentSize(narrow, MemoryAmounts<std::uint32_t>{0xFFFFFFFFu, 0x7FFFFFFFu});
    std::wstring wide = L"-Xms" + text + L"T";
    RewritePercentSize(wide, MemoryAmounts<std::uint64_t>{~0ull, ~0ull});
    ParseStackSize<std::uint32_t>(L"-Xss" + text);
    ParseStackSize<std::uint64_t>(L"-Xss" + text);
    return 0;
}
