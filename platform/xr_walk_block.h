// Seam of the block the OpenXR layer reads: the per-user block's one writer (the program), its
// readers (the layer in each game, the SteamVR driver), and the monotonic clock its time stamps
// come from. Every user of the block compiles the same backend file, so all find, create and
// check it alike.
#pragma once

#include <cstdint>

#include "output/xr_walk_block.h"

namespace platform {

// The program's side. Only one process of a user writes the block at a time (an exclusive lock
// that the system lets go when the process ends, however).
class XrWalkWriter {
  public:
    enum class Opened {
        Yes,
        Busy,         // another copy of the program writes this user's block
        NotPrivate,   // the block's folder or file is not this user's alone (another user made
                      // /tmp/tarvel-xr-<uid> first, for example)
        Unavailable,  // it cannot be created or given its space (a full folder, for example)
    };

    XrWalkWriter() = default;
    ~XrWalkWriter() { close(); }
    XrWalkWriter(const XrWalkWriter&) = delete;
    XrWalkWriter& operator=(const XrWalkWriter&) = delete;

    // Creates or opens the block, takes the writer lock, reserves the block's space (Linux:
    // posix_fallocate, so that no later write can find the disk full) and makes a counter left
    // odd by a writer that died mid-write even again. Already open: Yes.
    Opened open();
    // One publication (`nowNs` 0 marks the end: readers see no walk from then on). False when
    // the write failed: the block is closed then, and open() may be tried again.
    bool publish(const xrwalk::Axes& axes, std::uint32_t frame, std::int64_t nowNs);
    // Whether the block this writer holds is still the one under the block's name (Linux: a
    // block removed or replaced by someone is not; the caller closes and opens again).
    bool stillNamed() const;
    bool isOpen() const { return handle_ != kNone; }
    void close();

  private:
    static constexpr std::intptr_t kNone = -1;
    std::intptr_t handle_ = kNone;  // Linux: the file; Windows: the mapping
    std::intptr_t lock_ = kNone;    // Windows: the writer mutex (Linux locks the file itself)
    void* view_ = nullptr;          // Windows: the mapped block
    std::uint64_t identity_ = 0;    // Linux: the file's device and inode, mixed
    std::uint32_t sequence_ = 0;    // the even count of the last publication
};

// A reader's side: reads that can never fault, whatever another process does to the block.
// Linux: one pread of the block per read (a mapping would fault once the file is truncated);
// the file is opened again when its name leads to another file. Windows: the named mapping,
// whose size no process can change while a view of it exists.
class XrWalkReader {
  public:
    XrWalkReader() = default;
    ~XrWalkReader() { close(); }
    XrWalkReader(const XrWalkReader&) = delete;
    XrWalkReader& operator=(const XrWalkReader&) = delete;

    // The walk at `nowNs`: a consistent, fresh copy of the block, the last good reading while a
    // write is in progress (up to the staleness limit), or no walk. Opens the block, and checks
    // that it is still the one under its name, at most once a second; otherwise one pread
    // (Linux) or a few loads (Windows): no lock, no allocation.
    xrwalk::Reading read(std::int64_t nowNs);
    void close();

  private:
    bool reopen(std::int64_t nowNs);
    std::intptr_t handle_ = -1;   // Linux: the file; Windows: the mapping
    void* view_ = nullptr;        // Windows: the mapped block
    std::uint64_t identity_ = 0;  // Linux: the file's device and inode, mixed
    std::int64_t nextCheckNs_ = 0;
    bool checked_ = false;
    xrwalk::Judge judge_;
};

// The clock of the block's time stamps, in nanoseconds (no system call on either system).
std::int64_t monotonicNanoseconds();

}  // namespace platform
