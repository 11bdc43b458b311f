// The block the OpenXR layer reads, on Windows: a named file mapping in the session's own
// namespace, this user's alone; a named mutex for the one writer; QueryPerformanceCounter for
// its time stamps. Compiled into the program, the layer and the SteamVR driver. A section's size
// is fixed when it is created and no process can shrink it while a view of it exists, so reads
// of the view cannot fault as those of a truncated file's mapping do on Linux.
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

XrWalkWriter::Opened XrWalkWriter::open() {
    if (isOpen()) return Opened::Yes;
    // One writer per user and session: the first to create the mutex; it goes with the process.
    HANDLE lock = CreateMutexW(nullptr, FALSE, xrwalk::kWriterMutexName);
    if (lock == nullptr) return Opened::NotPrivate;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(lock);
        return Opened::Busy;
    }
    HANDLE mapping = userMapping();
    void* at = mapping != nullptr
                   ? MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, xrwalk::kBytes)
                   : nullptr;
    if (at == nullptr) {
        if (mapping != nullptr) CloseHandle(mapping);
        CloseHandle(lock);
        return Opened::NotPrivate;
    }
    auto* block = static_cast<xrwalk::Block*>(at);
    // A counter left odd (a writer killed mid-write) would read as "being written" for ever.
    const std::uint32_t s = block->sequence.load();
    sequence_ = block->magic.load() == xrwalk::kMagic ? s + (s % 2) : 0;
    block->sequence.store(sequence_);
    handle_ = reinterpret_cast<std::intptr_t>(mapping);
    lock_ = reinterpret_cast<std::intptr_t>(lock);
    view_ = at;
    return Opened::Yes;
}

bool XrWalkWriter::publish(const xrwalk::Axes& axes, std::uint32_t frame, std::int64_t nowNs) {
    if (!isOpen()) return false;
    const xrwalk::Fields f = xrwalk::fieldsOf(axes, frame, nowNs, sequence_ + 2);
    xrwalk::publish(*static_cast<xrwalk::Block*>(view_), f);
    sequence_ = f.sequence;
    return true;
}

// A named mapping cannot be removed or replaced while this writer holds it.
bool XrWalkWriter::stillNamed() const {
    return isOpen();
}

void XrWalkWriter::close() {
    if (!isOpen()) return;
    UnmapViewOfFile(view_);
    CloseHandle(reinterpret_cast<HANDLE>(handle_));
    CloseHandle(reinterpret_cast<HANDLE>(lock_));
    handle_ = lock_ = kNone;
    view_ = nullptr;
}

bool XrWalkReader::reopen(std::int64_t nowNs) {
    nextCheckNs_ = nowNs + 1'000'000'000;
    checked_ = true;
    if (view_ != nullptr) return true;
    HANDLE mapping = userMapping();
    if (mapping == nullptr) return false;
    view_ = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, xrwalk::kBytes);
    if (view_ == nullptr) {
        CloseHandle(mapping);
        return false;
    }
    handle_ = reinterpret_cast<std::intptr_t>(mapping);
    return true;
}

xrwalk::Reading XrWalkReader::read(std::int64_t nowNs) {
    if (view_ == nullptr &&
        (!checked_ || nowNs >= nextCheckNs_ || nowNs < nextCheckNs_ - 1'000'000'000)) {
        reopen(nowNs);
    }
    if (view_ == nullptr) return {};
    xrwalk::Fields f;
    const bool copied = xrwalk::copyOf(*static_cast<const xrwalk::Block*>(view_), f);
    return judge_.next(copied ? &f : nullptr, nowNs);
}

void XrWalkReader::close() {
    if (view_ != nullptr) {
        UnmapViewOfFile(view_);
        CloseHandle(reinterpret_cast<HANDLE>(handle_));
    }
    view_ = nullptr;
    handle_ = -1;
    checked_ = false;
    judge_.forget();
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
