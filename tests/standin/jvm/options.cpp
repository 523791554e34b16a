#include "options.h"

#include <algorithm>
#include <cctype>

namespace standin {
namespace {

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// -X options HotSpot accepts (prefixes). Anything else starting with -X is refused.
const char* const kKnownX[] = {"-Xss",
                               "-Xmx",
                               "-Xms",
                               "-Xmn",
                               "-Xint",
                               "-Xmixed",
                               "-Xcomp",
                               "-Xbatch",
                               "-Xrs",
                               "-Xcheck:jni",
                               "-Xnoclassgc",
                               "-Xlog",
                               "-Xloggc:",
                               "-Xverify",
                               "-Xbootclasspath/a:",
                               "-Xshare:",
                               "-Xdebug",
                               "-Xnoagent",
                               "-Xrun",
                               "-Xdiag",
                               "-Xinternalversion",
                               "-Xmaxjitcodesize",
                               "-Xconcurrentio",
                               "-Xoss",
                               "-Xsqnopause",
                               "-Xboundthreads",
                               "-Xusealtsigs",
                               "-Xshowsettings",
                               "-Xincgc",
                               "-Xprof",
                               "-Xfuture",
                               "-Xrunjdwp"};

const char* const kKnownOther[] = {"-D",
                                   "-verbose",
                                   "-ea",
                                   "-da",
                                   "-esa",
                                   "-dsa",
                                   "-enableassertions",
                                   "-disableassertions",
                                   "-enablesystemassertions",
                                   "-disablesystemassertions",
                                   "-agentlib:",
                                   "-agentpath:",
                                   "-javaagent:",
                                   "--add-opens=",
                                   "--add-exports=",
                                   "--add-modules=",
                                   "--add-reads=",
                                   "--limit-modules=",
                                   "--module-path=",
                                   "--upgrade-module-path=",
                                   "--patch-module=",
                                   "--illegal-access=",
                                   "--enable-native-access=",
                                   "-Djava.class.path="};

}  // namespace

bool ParseMemorySize(const std::string& text, unsigned long long& bytes) {
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) return false;
    size_t i = 0;
    unsigned long long n = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        if (n > (~0ULL - 9) / 10) return false;
        n = n * 10 + static_cast<unsigned>(text[i++] - '0');
    }
    unsigned long long scale = 1;
    if (i < text.size()) {
        switch (text[i++]) {
            case 'k':
            case 'K':
                scale = 1ULL << 10;
                break;
            case 'm':
            case 'M':
                scale = 1ULL << 20;
                break;
            case 'g':
            case 'G':
                scale = 1ULL << 30;
                break;
            case 't':
            case 'T':
                scale = 1ULL << 40;
                break;
            default:
                return false;
        }
    }
    if (i != text.size()) return false;
    if (n > ~0ULL / scale) return false;
    bytes = n * scale;
    return true;
}

jint ParseVmOptions(const std::vector<VmOption>& options, bool ignoreUnrecognized,
                    const std::vector<std::string>& unknown, OptionResult& result) {
    for (const auto& [o, extra] : options) {
        if (std::find(unknown.begin(), unknown.end(), o) != unknown.end()) {
            if (ignoreUnrecognized) continue;
            if (StartsWith(o, "-XX:")) {
                std::string name = o.substr(4);
                if (!name.empty() && (name[0] == '+' || name[0] == '-')) name = name.substr(1);
                result.error = "Unrecognized VM option '" + name.substr(0, name.find('=')) + "'";
                return JNI_EINVAL;
            }
            result.error = "Unrecognized option: " + o;
            return JNI_ERR;
        }
        if (o == "exit") {
            result.exitHook = extra;
            continue;
        }
        if (o == "abort") {
            result.abortHook = extra;
            continue;
        }
        if (o == "vfprintf") {
            result.printHook = extra;
            continue;
        }
        if (o == "_port" || o == "_log") continue;
        if (StartsWith(o, "-D")) {
            std::string body = o.substr(2);
            size_t eq = body.find('=');
            result.properties[body.substr(0, eq)] =
                eq == std::string::npos ? "" : body.substr(eq + 1);
            continue;
        }
        if (StartsWith(o, "-XX:")) {
            std::string body = o.substr(4);
            bool ok = !body.empty() &&
                      ((body[0] == '+' || body[0] == '-') ? body.size() > 1
                                                          : body.find('=') != std::string::npos);
            if (!ok && !ignoreUnrecognized) {
                result.error = "Unrecognized VM option '" + body + "'";
                return JNI_EINVAL;
            }
            continue;
        }
        struct SizeOption {
            const char* prefix;
            const char* message;
        };
        static const SizeOption sizes[] = {{"-Xmx", "Invalid maximum heap size: "},
                                           {"-Xms", "Invalid initial heap size: "},
                                           {"-Xmn", "Invalid initial young generation size: "},
                                           {"-Xss", "Invalid thread stack size: "}};
        bool handled = false;
        for (const auto& size : sizes) {
            if (!StartsWith(o, size.prefix)) continue;
            unsigned long long bytes = 0;
            if (!ParseMemorySize(o.substr(4), bytes)) {
                result.error = size.message + o;
                return JNI_EINVAL;
            }
            handled = true;
            if (std::string(size.prefix) == "-Xmx") result.maxHeap = bytes;
        }
        if (handled) continue;
        if (o == "-Xcheck:jni") result.checkJni = true;
        bool known = false;
        if (StartsWith(o, "-X")) {
            for (const char* p : kKnownX) known = known || StartsWith(o, p);
        } else {
            for (const char* p : kKnownOther) known = known || StartsWith(o, p);
        }
        if (!known && !ignoreUnrecognized) {
            result.error = "Unrecognized option: " + o;
            return JNI_ERR;
        }
    }
    return JNI_OK;
}

}  // namespace standin
