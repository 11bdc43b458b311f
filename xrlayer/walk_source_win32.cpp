// The program's block on Windows: the named file mapping in the session's own namespace,
// created when missing, this user's alone, mapped read-only.
#include <aclapi.h>
#include <windows.h>

#include "xrlayer/walk_source.h"

namespace xrlayer {

namespace {

// The user this process runs as, in `buffer`; null when it cannot be read.
PSID currentUser(unsigned char (&buffer)[256]) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return nullptr;
    DWORD size = 0;
    const bool read = GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size);
    CloseHandle(token);
    return read ? reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid : nullptr;
}

// The named mapping, created for this user alone (owner and only entry of its access list) or
// opened; null when it cannot be had or belongs to someone else (another user who made one of
// that name first must not feed this user's games).
HANDLE userMapping() {
    alignas(8) unsigned char userBuffer[256];
    const PSID user = currentUser(userBuffer);
    if (user == nullptr) return nullptr;
    alignas(8) unsigned char aclBuffer[256];
    const PACL acl = reinterpret_cast<PACL>(aclBuffer);
    SECURITY_DESCRIPTOR descriptor;
    if (!InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION) ||
        !AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, user) ||
        !InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorOwner(&descriptor, user, FALSE) ||
        !SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE)) {
        return nullptr;
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, &attributes, PAGE_READWRITE, 0,
                                        xrwalk::kBytes, xrwalk::kMappingName);
    if (mapping == nullptr) return nullptr;
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR found = nullptr;
    const bool own = GetSecurityInfo(mapping, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                                     nullptr, nullptr, nullptr, &found) == ERROR_SUCCESS &&
                     owner != nullptr && EqualSid(owner, user);
    LocalFree(found);
    if (!own) {
        CloseHandle(mapping);
        return nullptr;
    }
    return mapping;
}

}  // namespace

bool WalkSource::open() {
    if (block_ != nullptr) return true;
    HANDLE mapping = userMapping();
    if (mapping == nullptr) return false;
    void* at = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, xrwalk::kBytes);
    if (at == nullptr) {
        CloseHandle(mapping);
        return false;
    }
    block_ = static_cast<const xrwalk::Block*>(at);
    mapping_ = mapping;
    return true;
}

void WalkSource::close() {
    if (block_ == nullptr) return;
    UnmapViewOfFile(block_);
    CloseHandle(mapping_);
    block_ = nullptr;
    mapping_ = nullptr;
}

std::int64_t WalkSource::now() {
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f{};
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return now.QuadPart / frequency * 1'000'000'000 +
           now.QuadPart % frequency * 1'000'000'000 / frequency;
}

}  // namespace xrlayer
