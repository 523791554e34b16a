#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The VM reads option strings in the system's ANSI code page. A character that code page
// lacks must never turn into a look-alike (best fit can make "∖" a real separator or "Ł" an
// "L" that names another file), so conversion is exact or visibly lossy, and paths the
// launcher built fall back to their 8.3 short names.

/// The code page the options are written in, and the file system's short names.
class OptionTextCodec {
  public:
    virtual ~OptionTextCodec() = default;
    /// `text` in the code page without best-fit substitutes. False when some character has
    /// no exact equivalent; `out` then carries the code page's default character there.
    virtual bool Encode(std::wstring_view text, std::string& out) const = 0;
    /// The 8.3 short form of an existing path; Exists false when there is nothing at the
    /// path, Path empty when no short form could be formed.
    struct ShortName {
        bool Exists = false;
        std::wstring Path;
    };
    virtual ShortName ShortForm(const std::wstring& path) const = 0;
};

/// Whether a path in an option is one the application cannot work without.
enum class PathNeed {
    Required,  ///< class path, module path, configured library folders: a loss stops the launch
    Optional,  ///< folders inherited from "Path": a loss is passed on and reported
};

/// What the conversions of one launch did to the text, for the diagnostics and the stop.
struct OptionTextNotes {
    /// A path and the short form passed instead.
    std::vector<std::pair<std::wstring, std::wstring>> Substituted;
    /// Required paths that exist and cannot be represented even by their short form.
    std::vector<std::wstring> Lost;
    /// Texts passed with the code page's default character in place of some characters.
    std::vector<std::wstring> Defaulted;
};

/// Appends the items of `list` (separated by ";") to `out`, a ";" before each unless `out`
/// is empty; empty items are dropped, since the VM reads one as the current folder. Every
/// item that does
/// not convert exactly is replaced by its short form when that converts exactly; otherwise
/// it is converted with the default character and noted as lost (required, existing) or
/// defaulted.
void EncodePathList(std::wstring_view list, PathNeed need, const OptionTextCodec& codec,
                    std::string& out, OptionTextNotes& notes);

/// One path (";" is part of the name here), treated like an item of EncodePathList.
std::string EncodePath(std::wstring_view path, PathNeed need, const OptionTextCodec& codec,
                       OptionTextNotes& notes);

/// A text that is not a launcher-built path (a user's VM parameter): converted as it is,
/// a loss noted as defaulted.
std::string EncodeOptionText(std::wstring_view text, const OptionTextCodec& codec,
                             OptionTextNotes& notes);

/// A path for a message: whole up to `limit` characters, else its start and its end around
/// "…", cut at separators where one lies near, so the folder names stay readable.
std::wstring ShortenPathForMessage(std::wstring_view path, std::size_t limit = 120);
