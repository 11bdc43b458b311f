// The program's block on Windows: the named file mapping in the session's own namespace,
// created when missing, owned by this user, mapped read-only.
#include <aclapi.h>
#include <windows.h>

#include "xrlayer/walk_source.h"

namespace xrlayer {

namespace {

// Whether `handle` is owned by the user this process runs as (or by its token's default
// owner): a mapping of that name that another user made first is never read.
bool ownedByThisUser(HANDLE handle) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(handle, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                        nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    bool own = false;
    HANDLE token = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        alignas(8) unsigned char user[256];
        alignas(8) unsigned char defaultOwner[256];
        DWORD size = 0;
        if (GetTokenInformation(token, TokenUser, user, sizeof user, &size)) {
            own = EqualSid(owner, reinterpret_cast<TOKEN_USER*>(user)->User.Sid);
        }
        if (!own &&
            GetTokenInformation(token, TokenOwner, defaultOwner, sizeof defaultOwner, &size)) {
            own = EqualSid(owner, reinterpret_cast<TOKEN_OWNER*>(defaultOwner)->Owner);
        }
        CloseHandle(token);
    }
    LocalFree(descriptor);
    return own;
}

}  // namespace

bool WalkSource::open() {
    if (block_ != nullptr) return true;
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        xrwalk::kBytes, xrwalk::kMappingName);
    if (mapping == nullptr) return false;
    void* at = ownedByThisUser(mapping)
                   ? MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, xrwalk::kBytes)
                   : nullptr;
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
