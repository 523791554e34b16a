#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "brand/byte_view.h"

/// What a branded copy changes; an empty member leaves that part as the launcher has it.
struct BrandRequest {
    std::vector<std::uint8_t> icon;  ///< an .ico file's bytes
    /// Version strings (ProductName, FileDescription, ...), UTF-8, in the order given. When
    /// any part of the version block is asked for, these replace every string the launcher
    /// has (an empty value writes none); FileVersion and ProductVersion, unless given, show
    /// the fixed block's numbers.
    std::vector<std::pair<std::string, std::string>> strings;
    std::string file_version;  ///< "1.2.3.4" for the fixed block
    std::string product_version;
    std::string execution_level;  ///< asInvoker, highestAvailable or requireAdministrator
};

/// Which input a failed branding is about.
enum class BrandFault {
    kLauncher,  ///< the launcher image
    kIcon,      ///< the .ico file
    kRequest,   ///< a value given (a version number, the version text, a level)
};

struct BrandOutput {
    std::vector<std::uint8_t> image;
    std::vector<std::string> warnings;
    BrandFault fault = BrandFault::kLauncher;  ///< set when branding fails
};

/// Writes a copy of the launcher image `launcher` with the icon replacing its first icon
/// group, the version block updated and the manifest's execution level set. False with a
/// message when the launcher, the icon or a value is not usable; never reads outside
/// the given bytes.
bool BrandLauncher(ByteView launcher, const BrandRequest& request, BrandOutput* out,
                   std::string* error);

/// The command line of the branding tool: options, then the launcher and the output file.
struct BrandCommand {
    std::string input;
    std::string output;
    std::string icon_path;
    BrandRequest request;
};

/// Reads the tool's arguments (UTF-8, without the program name). Unless given on their
/// own: the product name is the output's file name without extension, the file
/// description the product name, the product version the file version, the original and
/// internal names the output's file name (with and without extension); the launcher's
/// company and copyright are removed.
bool ParseBrandArguments(const std::vector<std::string>& arguments, BrandCommand* command,
                         std::string* error);

/// The usage text printed for --help and after an argument error.
extern const char kBrandUsage[];
