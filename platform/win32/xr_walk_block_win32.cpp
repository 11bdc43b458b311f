// The block the OpenXR layer reads, on Windows: a named file mapping in the session's own
// namespace, this user's alone; QueryPerformanceCounter for its time stamps. Compiled into the
// program and into the layer.
#include <aclapi.h>
#include <windows.h>

#include "platform/xr_walk_block.h"

namespace platform {

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

XrWalkMapping mapXrWalkBlock(bool writable) {
    HANDLE mapping = userMapping();
    if (mapping == nullptr) return {};
    const DWORD access = writable ? FILE_MAP_READ | FILE_MAP_WRITE : FILE_MAP_READ;
    void* at = MapViewOfFile(mapping, access, 0, 0, xrwalk::kBytes);
    if (at == nullptr) {
        CloseHandle(mapping);
        return {};
    }
    return {static_cast<xrwalk::Block*>(at), mapping};
}

void unmapXrWalkBlock(XrWalkMapping& mapping) {
    if (mapping.block == nullptr) return;
    UnmapViewOfFile(mapping.block);
    CloseHandle(mapping.handle);
    mapping = {};
}

std::int64_t monotonicNanoseconds() {
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f{};
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    const LONGLONG seconds = now.QuadPart / frequency;
    const LONGLONG rest = now.QuadPart % frequency;
    return seconds * 1'000'000'000 + rest * 1'000'000'000 / frequency;
}

}  // namespace platform
