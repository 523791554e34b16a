// A damaged launcher, icon or version block must give a message, never a read outside the
// bytes or a crash; the same bytes serve as all three.
#include "brand/brand.h"
#include "brand/icon_file.h"
#include "brand/version_info.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An exact-size copy lets AddressSanitizer see any read past the end.
    std::vector<std::uint8_t> bytes(data, data + size);
    std::string error;
    std::vector<IconImage> images;
    ParseIconFile(ByteView(bytes), &images, &error);
    VersionInfo info;
    if (ParseVersionInfo(ByteView(bytes), &info, &error)) BuildVersionInfo(info);

    BrandRequest request;
    request.strings = {{"ProductName", "Fuzz"}, {"OriginalFilename", "fuzz.exe"}};
    request.file_version = "1.2.3.4";
    request.execution_level = "requireAdministrator";
    BrandOutput output;
    BrandLauncher(ByteView(bytes), request, &output, &error);
    return 0;
}
