// vmbootbrand: writes a branded copy of a launcher. Portable on purpose: applications for
// Windows are often built on Linux, so the same tool runs on both.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "brand/brand.h"

namespace {

// Arguments are UTF-8 on both systems; the path keeps them as that.
std::filesystem::path PathOf(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

bool ReadFile(const std::filesystem::path& path, std::vector<std::uint8_t>* bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

int Run(const std::vector<std::string>& arguments) {
    if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "-h")) {
        std::fputs(kBrandUsage, stdout);
        return 0;
    }
    BrandCommand command;
    std::string error;
    if (!ParseBrandArguments(arguments, &command, &error)) {
        std::fprintf(stderr, "vmbootbrand: %s\n%s", error.c_str(), kBrandUsage);
        return 2;
    }
    std::vector<std::uint8_t> launcher;
    if (!ReadFile(PathOf(command.input), &launcher)) {
        std::fprintf(stderr, "vmbootbrand: cannot read %s\n", command.input.c_str());
        return 1;
    }
    if (!command.icon_path.empty() && !ReadFile(PathOf(command.icon_path), &command.request.icon)) {
        std::fprintf(stderr, "vmbootbrand: cannot read %s\n", command.icon_path.c_str());
        return 1;
    }
    BrandOutput output;
    if (!BrandLauncher(ByteView(launcher), command.request, &output, &error)) {
        const std::string subject = output.fault == BrandFault::kIcon       ? command.icon_path
                                    : output.fault == BrandFault::kLauncher ? command.input
                                                                            : std::string();
        if (subject.empty()) {
            std::fprintf(stderr, "vmbootbrand: %s\n", error.c_str());
        } else {
            std::fprintf(stderr, "vmbootbrand: %s: %s\n", subject.c_str(), error.c_str());
        }
        return 1;
    }
    for (const std::string& warning : output.warnings)
        std::fprintf(stderr, "vmbootbrand: warning: %s\n", warning.c_str());
    if (!WriteFile(PathOf(command.output), output.image)) {
        std::fprintf(stderr, "vmbootbrand: cannot write %s\n", command.output.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

#ifdef _WIN32
// Windows hands over the arguments as UTF-16; the portable code works in UTF-8.
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        const std::wstring wide(argv[i]);
        arguments.push_back(Utf8FromUtf16(std::u16string(wide.begin(), wide.end())));
    }
    return Run(arguments);
}
#else
int main(int argc, char** argv) { return Run(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
