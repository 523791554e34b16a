// The archive folder's names, its remembered jar keys and the hidden process's job come from files and an environment
// variable anyone may write: parsing never fails loudly, and whatever parses formats back to
// the same text.
#include "options/class_sharing.h"
#include "fuzz_input.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::wstring text = WideFromBytes(data, size);
    if (std::optional<ArchiveFile> file = ParseArchiveFile(text)) {
        if (FormatArchiveFile(*file) != text) std::abort();
    }
    if (std::optional<SharingJob> job = ParseSharingJob(text)) {
        std::optional<SharingJob> again = ParseSharingJob(FormatSharingJob(*job));
        if (!again || again->options != job->options || again->vmLibrary != job->vmLibrary) std::abort();
    }
    std::vector<JarKeyRecord> keys = ParseJarKeys(text);
    if (ParseJarKeys(FormatJarKeys(keys)).size() != keys.size()) std::abort();
    const std::size_t tail = size < kZipTailSize ? size : kZipTailSize;
    if (std::optional<ZipDirectory> directory = FindZipDirectory(data + size - tail, tail, size)) {
        if (directory->offset + directory->size > size) std::abort();
    }
    return 0;
}
