// File owners on Windows, read from the security descriptor and compared with the user's own
// identity and the well-known administrator and system identities.
#include <windows.h>
// After windows.h, whose types they use.
#include <aclapi.h>
#include <sddl.h>

#include <memory>
#include <vector>

#include "platform/win32/file_owner.h"
#include "platform/win32/wide_text.h"

namespace platform::win32 {

namespace {

// The user the program runs as, read once.
const std::vector<unsigned char>& userSid() {
    static const std::vector<unsigned char> sid = [] {
        std::vector<unsigned char> bytes;
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return bytes;
        DWORD size = 0;
        GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        std::vector<unsigned char> info(size);
        if (size > 0 && GetTokenInformation(token, TokenUser, info.data(), size, &size)) {
            const PSID user = reinterpret_cast<TOKEN_USER*>(info.data())->User.Sid;
            const DWORD length = GetLengthSid(user);
            bytes.assign(static_cast<unsigned char*>(user),
                         static_cast<unsigned char*>(user) + length);
        }
        CloseHandle(token);
        return bytes;
    }();
    return sid;
}

std::string nameOf(PSID sid) {
    wchar_t name[256], domain[256];
    DWORD nameLength = 256, domainLength = 256;
    SID_NAME_USE use;
    if (LookupAccountSidW(nullptr, sid, name, &nameLength, domain, &domainLength, &use)) {
        return narrow(name);
    }
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text)) return "unknown";
    std::string result = narrow(text);
    LocalFree(text);
    return result;
}

}  // namespace

bool trustedOwner(HANDLE handle, std::string& ownerName) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                        nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return true;
    }
    const std::unique_ptr<void, decltype(&LocalFree)> held(descriptor, &LocalFree);
    if (owner == nullptr) return true;
    const std::vector<unsigned char>& user = userSid();
    if ((!user.empty() && EqualSid(owner, const_cast<unsigned char*>(user.data()))) ||
        IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
        IsWellKnownSid(owner, WinLocalSystemSid)) {
        return true;
    }
    ownerName = nameOf(owner);
    return false;
}

bool reparsePointTrusted(const std::wstring& path, std::string& why) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return true;
    }
    HANDLE link = CreateFileW(
        path.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (link == INVALID_HANDLE_VALUE) return true;
    std::string owner;
    const bool trusted = trustedOwner(link, owner);
    CloseHandle(link);
    if (!trusted) why = "it is a link of another user (" + owner + "), not followed";
    return trusted;
}

}  // namespace platform::win32
