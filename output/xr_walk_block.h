// The block through which the program hands the walk to the OpenXR layer inside games: its
// layout, its names, and how it is written and read. The layer shares this header and nothing
// else with the program; both open the block per user, and either may create it.
#pragma once

#include <atomic>
#include <bit>
#include <cstdint>

namespace xrwalk {

// The file in $XDG_RUNTIME_DIR (Linux), or in "/tmp/tarvel-xr-<uid>" (0700) when that is unset;
// the named file mapping in the session's own namespace (Windows).
inline constexpr const char* kFileName = "tarvel-xr-walk";
inline constexpr const char* kFallbackFolderPrefix = "/tmp/tarvel-xr-";
inline constexpr const wchar_t* kMappingName = L"Local\\tarvel-xr-walk";
// The size both sides give the file or mapping; the block lies at its start.
inline constexpr std::uint32_t kBytes = 4096;

inline constexpr std::uint32_t kMagic = 0x31525854;  // "TXR1"
inline constexpr std::uint32_t kVersion = 1;
// Axes published longer ago than this count as none: the program was killed or hangs.
inline constexpr std::int64_t kStaleNs = 250'000'000;

// Every field is a lock-free atomic, so that two processes can share it. The float axes are
// kept as their bits.
struct Block {
    std::atomic<std::uint32_t> magic;
    std::atomic<std::uint32_t> version;
    // Odd while the program changes the fields below.
    std::atomic<std::uint32_t> sequence;
    // The sensor frame count the axes were worked out from (for measurements).
    std::atomic<std::uint32_t> frame;
    // When the program last published, on the monotonic clock both sides read (CLOCK_MONOTONIC
    // on Linux, QueryPerformanceCounter on Windows) in nanoseconds; 0 once it has ended.
    std::atomic<std::int64_t> publishedNs;
    std::atomic<std::uint32_t> vertical;
    std::atomic<std::uint32_t> horizontal;
    std::atomic<std::uint32_t> lookHorizontal;
};
static_assert(sizeof(Block) <= kBytes);
static_assert(std::atomic<std::uint32_t>::is_always_lock_free &&
              std::atomic<std::int64_t>::is_always_lock_free);

struct Axes {
    float vertical = 0.0f;
    float horizontal = 0.0f;
    float lookHorizontal = 0.0f;
    bool operator==(const Axes&) const = default;
};

// The program's side, once per pass: the axes at `nowNs` (0 marks the end: readers see no walk
// from then on). The only writer of the block.
inline void publish(Block& b, const Axes& axes, std::uint32_t frame, std::int64_t nowNs) {
    if (b.magic.load(std::memory_order_relaxed) != kMagic ||
        b.version.load(std::memory_order_relaxed) != kVersion) {
        b.version.store(kVersion, std::memory_order_relaxed);
        b.sequence.store(0, std::memory_order_relaxed);
        b.magic.store(kMagic, std::memory_order_release);
    }
    const std::uint32_t s = b.sequence.load(std::memory_order_relaxed);
    b.sequence.store(s + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    b.frame.store(frame, std::memory_order_relaxed);
    b.publishedNs.store(nowNs, std::memory_order_relaxed);
    b.vertical.store(std::bit_cast<std::uint32_t>(axes.vertical), std::memory_order_relaxed);
    b.horizontal.store(std::bit_cast<std::uint32_t>(axes.horizontal), std::memory_order_relaxed);
    b.lookHorizontal.store(std::bit_cast<std::uint32_t>(axes.lookHorizontal),
                           std::memory_order_relaxed);
    b.sequence.store(s + 2, std::memory_order_release);
}

struct Reading {
    Axes axes;
    std::uint32_t frame = 0;
    bool fresh = false;  // a consistent copy, published within kStaleNs of `nowNs`
};

// The reader's side: a copy of the block that was never torn by a write, or no walk (fresh
// false, axes 0) when the block was never set up, is being written on every try, is stale,
// or holds something other than finite values in [-1, 1]. No call, lock or allocation.
inline Reading read(const Block& b, std::int64_t nowNs) {
    Reading r;
    if (b.magic.load(std::memory_order_acquire) != kMagic ||
        b.version.load(std::memory_order_relaxed) != kVersion) {
        return r;
    }
    for (int attempt = 0; attempt < 4; ++attempt) {
        const std::uint32_t s = b.sequence.load(std::memory_order_acquire);
        if (s % 2 != 0) continue;
        Reading copy;
        copy.frame = b.frame.load(std::memory_order_relaxed);
        const std::int64_t published = b.publishedNs.load(std::memory_order_relaxed);
        copy.axes.vertical = std::bit_cast<float>(b.vertical.load(std::memory_order_relaxed));
        copy.axes.horizontal = std::bit_cast<float>(b.horizontal.load(std::memory_order_relaxed));
        copy.axes.lookHorizontal =
            std::bit_cast<float>(b.lookHorizontal.load(std::memory_order_relaxed));
        std::atomic_thread_fence(std::memory_order_acquire);
        if (b.sequence.load(std::memory_order_relaxed) != s) continue;
        const auto valid = [](float v) { return v >= -1.0f && v <= 1.0f; };  // NaN fails
        const bool inRange = valid(copy.axes.vertical) && valid(copy.axes.horizontal) &&
                             valid(copy.axes.lookHorizontal);
        if (published == 0 || nowNs - published > kStaleNs || published - nowNs > kStaleNs ||
            !inRange) {
            return r;
        }
        copy.fresh = true;
        return copy;
    }
    return r;
}

}  // namespace xrwalk
