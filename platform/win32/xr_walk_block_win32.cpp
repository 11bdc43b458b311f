// The block the OpenXR layer reads, on Windows: a named file mapping in the session's own
// namespace, owned by this user; QueryPerformanceCounter for its time stamps.
#include <aclapi.h>
#include <windows.h>

#include "platform/xr_walk_block.h"

namespace platform {

namespace {

// Whether the object behind `handle` is owned by the user this process runs as (or by the
// token's default owner), so that a mapping another user created first is not written to.
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

xrwalk::Block* mapBlock() {
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        xrwalk::kBytes, xrwalk::kMappingName);
    if (mapping == nullptr) return nullptr;
    if (!ownedByThisUser(mapping)) {
        CloseHandle(mapping);
        return nullptr;
    }
    // The handle stays open with the view for the life of the process.
    void* at = MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, xrwalk::kBytes);
    if (at == nullptr) CloseHandle(mapping);
    return static_cast<xrwalk::Block*>(at);
}

}  // namespace

xrwalk::Block* openXrWalkBlock() {
    static xrwalk::Block* block = nullptr;
    if (block == nullptr) block = mapBlock();
    return block;
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
