#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "core/unique_handle_win32.h"

// Who may take part in one user's single-instance protocol, and how its objects are made.

/// The user this process runs as (the same for an elevated and a plain start of one user).
class ProcessUser {
public:
    /// Reads the process token; false when it cannot be read.
    bool Load();
    PSID Sid() const;
    /// The SID as text ("S-1-5-21-..."), as it appears in the objects' names.
    const std::wstring& SidText() const { return sidText_; }

private:
    std::vector<unsigned char> tokenUser_;
    std::wstring sidText_;
};

/// Security for the protocol's named objects: owned by the user (also when made by an
/// elevated start), open to the user and the system only, and labelled medium integrity with
/// no-write-up and no-read-up, so that a plain start of the same user can still open what an
/// elevated start made, and a lower-integrity process can neither write nor read it.
class PrivateObjectSecurity {
public:
    explicit PrivateObjectSecurity(const ProcessUser& user);
    PrivateObjectSecurity(const PrivateObjectSecurity&) = delete;
    PrivateObjectSecurity& operator=(const PrivateObjectSecurity&) = delete;
    /// Null when no descriptor could be made (the system's default security then applies).
    SECURITY_ATTRIBUTES* Attributes() { return descriptor_ ? &attributes_ : nullptr; }

private:
    UniqueLocalMemory descriptor_;
    SECURITY_ATTRIBUTES attributes_{};
};

/// Whether an existing named object belongs to this user and is not labelled below medium
/// integrity (a sandboxed or another user's process could have made it first).
bool IsObjectOfUser(HANDLE object, const ProcessUser& user);

/// This process's own executable file.
std::wstring OwnImagePath();
/// Whether the process runs the executable at `imagePath` (compared as files, so a path
/// written in another letter case or through another name of the same file still matches).
bool ProcessRunsImage(HANDLE process, const std::wstring& imagePath);
/// Whether the thread exists and belongs to the process.
bool ThreadBelongsToProcess(DWORD threadId, DWORD processId);
/// Lets the registered message through from processes of lower integrity (the primary of a
/// plain start answering an elevated one, and the other way round), only where this process
/// runs above medium integrity.
void AcceptMessageFromLowerIntegrity(UINT message);
