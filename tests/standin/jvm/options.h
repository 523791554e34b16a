#pragma once
// Option handling of JNI_CreateJavaVM, following what HotSpot accepts and how it refuses.

#include <jni.h>

#include <map>
#include <string>
#include <vector>

namespace standin {

struct OptionResult {
    std::string error;  // the VM's own message for a refused option
    void* exitHook = nullptr;
    void* abortHook = nullptr;
    void* printHook = nullptr;  // "vfprintf", when it came before a refused option
    bool checkJni = false;
    unsigned long long maxHeap = 0;                 // the last -Xmx, in bytes; 0 when none
    std::map<std::string, std::string> properties;  // -D options, the last of a name wins
};

/// One option string (already decoded to UTF-8) and its extraInfo.
using VmOption = std::pair<std::string, void*>;

/// Returns JNI_OK, or JNI_ERR / JNI_EINVAL with `result.error` set for the first refused
/// option. `unknown` lists options the fixture declares unrecognised (exact strings).
jint ParseVmOptions(const std::vector<VmOption>& options, bool ignoreUnrecognized,
                    const std::vector<std::string>& unknown, OptionResult& result);

/// Parses a HotSpot memory size ("64m", "1G", "512k", "1048576"); false when malformed.
bool ParseMemorySize(const std::string& text, unsigned long long& bytes);

}  // namespace standin
