#include "instance/instance_security_win32.h"

#include <aclapi.h>
#include <sddl.h>

#include "core/system_library_win32.h"
#include "core/text_win32.h"
#include "core/unique_handle_win32.h"

bool ProcessUser::Load() {
    HANDLE rawToken = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &rawToken)) return false;
    UniqueHandle token(rawToken);
    DWORD size = 0;
    ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size == 0) return false;
    tokenUser_.assign(size, 0);
    if (!::GetTokenInformation(token.get(), TokenUser, tokenUser_.data(), size, &size)) {
        return false;
    }
    wchar_t* text = nullptr;
    if (!::ConvertSidToStringSidW(Sid(), &text)) return false;
    UniqueLocalMemory owned(text);
    sidText_ = text;
    return !sidText_.empty();
}

PSID ProcessUser::Sid() const {
    if (tokenUser_.empty()) return nullptr;
    return reinterpret_cast<const TOKEN_USER*>(tokenUser_.data())->User.Sid;
}

PrivateObjectSecurity::PrivateObjectSecurity(const ProcessUser& user) {
    // The owner is named: an elevated process would otherwise give its objects the
    // Administrators group as owner, and the user's plain starts would not trust them.
    std::wstring base = L"O:" + user.SidText() + L"D:P(A;;GA;;;" + user.SidText() + L")(A;;GA;;;SY)";
    // Medium integrity keeps an elevated start's objects open to the same user's plain
    // starts; no-write-up and no-read-up keep the user's sandboxed processes (low integrity)
    // from forging or reading the arguments. A system that cannot set labels gets the
    // descriptor without one.
    for (const std::wstring& text : {base + L"S:(ML;;NWNR;;;ME)", base}) {
        if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(text.c_str(), SDDL_REVISION_1,
                                                                   descriptor_.put(), nullptr)) {
            break;
        }
        descriptor_.release();  // a failed conversion leaves nothing to free
    }
    attributes_.nLength = sizeof(attributes_);
    attributes_.lpSecurityDescriptor = descriptor_.get();
    attributes_.bInheritHandle = FALSE;
}

bool IsObjectOfUser(HANDLE object, const ProcessUser& user) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR ownerDescriptor = nullptr;
    if (::GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                          nullptr, nullptr, &ownerDescriptor) != ERROR_SUCCESS) {
        return false;
    }
    UniqueLocalMemory ownerHolder(ownerDescriptor);
    if (!owner || !user.Sid() || !::EqualSid(owner, user.Sid())) return false;

    PACL labels = nullptr;
    PSECURITY_DESCRIPTOR labelDescriptor = nullptr;
    // Without labels (older systems) every object counts as medium integrity.
    if (::GetSecurityInfo(object, SE_KERNEL_OBJECT, LABEL_SECURITY_INFORMATION, nullptr, nullptr,
                          nullptr, &labels, &labelDescriptor) != ERROR_SUCCESS) {
        return true;
    }
    UniqueLocalMemory labelHolder(labelDescriptor);
    if (!labels) return true;
    for (DWORD index = 0; index < labels->AceCount; ++index) {
        void* ace = nullptr;
        if (!::GetAce(labels, index, &ace)) continue;
        auto* header = static_cast<ACE_HEADER*>(ace);
        if (header->AceType != SYSTEM_MANDATORY_LABEL_ACE_TYPE) continue;
        PSID level = &static_cast<SYSTEM_MANDATORY_LABEL_ACE*>(ace)->SidStart;
        UCHAR count = *::GetSidSubAuthorityCount(level);
        if (count == 0) return false;
        return *::GetSidSubAuthority(level, count - 1) >= SECURITY_MANDATORY_MEDIUM_RID;
    }
    return true;
}

std::wstring OwnImagePath() {
    std::wstring path;
    FillGrowingBuffer(path, MAX_PATH, [](wchar_t* buffer, DWORD capacity) -> DWORD {
        DWORD length = ::GetModuleFileNameW(nullptr, buffer, capacity);
        if (length == 0) return kBufferFailed;
        return length < capacity ? length : kGrowBuffer;
    });
    return path;
}

bool ProcessRunsImage(HANDLE process, const std::wstring& imagePath) {
    if (imagePath.empty()) return false;
    std::wstring image;
    FillGrowingBuffer(image, MAX_PATH, [process](wchar_t* buffer, DWORD capacity) -> DWORD {
        DWORD length = capacity;
        if (::QueryFullProcessImageNameW(process, 0, buffer, &length)) return length;
        return ::GetLastError() == ERROR_INSUFFICIENT_BUFFER ? kGrowBuffer : kBufferFailed;
    });
    return !image.empty() && IsSameFile(image, imagePath);
}

bool ThreadBelongsToProcess(DWORD threadId, DWORD processId) {
    UniqueHandle thread(::OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, threadId));
    return thread && ::GetProcessIdOfThread(thread.get()) == processId;
}

namespace {

/// Whether this process runs above medium integrity (elevated, or as a service account).
bool RunsAboveMediumIntegrity() {
    HANDLE rawToken = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &rawToken)) return false;
    UniqueHandle token(rawToken);
    DWORD size = 0;
    ::GetTokenInformation(token.get(), TokenIntegrityLevel, nullptr, 0, &size);
    if (size == 0) return false;
    std::vector<unsigned char> label(size);
    if (!::GetTokenInformation(token.get(), TokenIntegrityLevel, label.data(), size, &size))
        return false;
    PSID level = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(label.data())->Label.Sid;
    UCHAR count = *::GetSidSubAuthorityCount(level);
    return count != 0 && *::GetSidSubAuthority(level, count - 1) > SECURITY_MANDATORY_MEDIUM_RID;
}

}  // namespace

void AcceptMessageFromLowerIntegrity(UINT message) {
    // A process at medium integrity hears its user's other starts anyway; opening the filter
    // there would only let lower-integrity processes post forged answers to it.
    static const bool elevated = RunsAboveMediumIntegrity();
    if (message != 0 && elevated) ::ChangeWindowMessageFilter(message, MSGFLT_ADD);
}
